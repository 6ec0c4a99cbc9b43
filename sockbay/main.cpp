#include "frmsockbay.h"
#include "socketcontrol.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FrmSockbay window(new SocketControl);
    window.show();
    return app.exec();
}
