// SPDX-License-Identifier: MIT
#include "frmsockbay.h"
#include "socketcontrol.h"
#include "sockbaycommandline.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    loadQtTranslations(app);
    SockbayCommandLine commandLine;
    if (const int status = commandLine.parse(app.arguments()); status >= 0)
        return status;
    FrmSockbay window(new SocketControl);
    if (const int status = commandLine.applyTo(window); status >= 0)
        return status;
    window.show();
    return app.exec();
}
