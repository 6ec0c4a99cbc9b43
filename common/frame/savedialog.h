// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Where a save dialog starts: the home folder, a name made of the program's
// and the moment's, ending in `ending` (such as ".txt").
QString suggestedSavePath(const QString &ending);

// The tools' save dialog: the chosen path ("" when cancelled); `filter`
// lists the file types, and `*chosenFilter` says which one was picked.
// Tests install a hook that answers it instead of letting it block.
QString askSavePath(QWidget *parent, const QString &title, const QString &suggested, const QString &filter,
                    QString *chosenFilter);
using SavePathHook = std::function<QString(const QString &title, const QString &suggested, const QString &filter,
                                           QString *chosenFilter)>;
void setSavePathHook(SavePathHook hook);

// The tools' open dialog, for a file to read: the chosen path ("" when
// cancelled). Tests install a hook the same way.
QString askOpenPath(QWidget *parent, const QString &title);
using OpenPathHook = std::function<QString(const QString &title)>;
void setOpenPathHook(OpenPathHook hook);
