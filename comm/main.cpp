// SPDX-License-Identifier: MIT
#include "commcommandline.h"
#include "form1.h"
#include "serialcontrol.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    loadQtTranslations(app);
    CommCommandLine commandLine;
    if (const int status = commandLine.parse(app.arguments()); status >= 0)
        return status;
    Form1 window(new SerialControl);
    if (const int status = commandLine.applyTo(window); status >= 0)
        return status;
    window.show();
    return app.exec();
}
