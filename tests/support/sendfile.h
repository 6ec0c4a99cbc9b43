// SPDX-License-Identifier: MIT
#pragma once

#include "consolewindow.h"
#include "filesenddialog.h"
#include "savedialog.h"
#include "sendboxmenu.h"

#include <QAction>
#include <QMenu>
#include <QSpinBox>

// "发送文件…" from the send box's menu, as a user does: the file chosen is
// `path`, sent as the dialog offers it (`delayMs` after every line).
inline bool sendFileThroughTheMenu(ConsoleWindow &w, const QString &path, int delayMs = 0)
{
    setOpenPathHook([path](const QString &) { return path; });
    QMenu *menu = w.sendBoxMenu()->makeMenu();
    bool triggered = false;
    for (QAction *a : menu->actions())
        if (a->text() == QStringLiteral("发送文件…")) {
            a->trigger();
            triggered = true;
        }
    delete menu;
    setOpenPathHook(nullptr);
    auto *dialog = w.findChild<FileSendDialog *>();
    if (!triggered || !dialog)
        return false;
    dialog->DelayBox->setValue(delayMs);
    dialog->accept();
    return true;
}
