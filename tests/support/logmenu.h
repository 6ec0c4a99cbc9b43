// SPDX-License-Identifier: MIT
#pragma once

#include "logpane.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QStringList>
#include <QTest>

// The log's context menu, opened as a right click does.
namespace logmenu {

// The menu's actions as "+text" (enabled) or "-text".
inline QStringList contextMenuActions(LogPane *log)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), log->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(log->viewport(), &event);
    QStringList out;
    QMenu *menu = log->findChild<QMenu *>();
    if (!menu)
        return out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            out << (a->isEnabled() ? u'+' : u'-') + a->text();
    menu->close();
    delete menu;
    return out;
}

inline void triggerContextAction(LogPane *log, const QString &text)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), log->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(log->viewport(), &event);
    QMenu *menu = log->findChild<QMenu *>();
    QVERIFY(menu);
    for (QAction *a : menu->actions())
        if (a->text() == text)
            a->trigger();
    menu->close();
    delete menu;
}

} // namespace logmenu
