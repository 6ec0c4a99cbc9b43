// SPDX-License-Identifier: MIT
#include "frmsockbay.h"
#include "socketcontrol.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    loadQtTranslations(app);
    FrmSockbay window(new SocketControl);
    window.show();
    return app.exec();
}
