#include "form1.h"
#include "serialcontrol.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Form1 window(new SerialControl);
    window.show();
    return app.exec();
}
