// SPDX-License-Identifier: MIT
#include "form1.h"
#include "serialcontrol.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    loadQtTranslations(app);
    Form1 window(new SerialControl);
    window.show();
    return app.exec();
}
