// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class LogStore;
class QIODevice;
class QWidget;

// Writing the log out. Each writer goes to a temporary file beside the
// chosen one, which replaces it only once all is written: a full disk or a
// failed write never leaves a half-written file under the chosen name.
namespace LogSave {

// The text exactly as a copy of the whole log gives it, as UTF-8.
bool writeText(const LogStore &store, const QString &path, QString *error);
// A page that keeps every colour (a span per run, the text escaped).
bool writeHtml(const LogStore &store, const QString &title, const QString &path, QString *error);
// Whatever `write` puts into the device; `write` returns false to give up.
bool writeFile(const QString &path, const std::function<bool(QIODevice &)> &write, QString *error);

} // namespace LogSave

// Where a save dialog starts: the home folder, a name made of the program's
// and the moment's, ending in `ending` (such as ".txt").
QString SuggestedSavePath(const QString &ending);

// The tools' save dialog: the chosen path ("" when cancelled); `filter`
// lists the file types, and `*chosenFilter` says which one was picked.
// Tests install a hook that answers it instead of letting it block.
QString AskSavePath(QWidget *parent, const QString &title, const QString &suggested, const QString &filter,
                    QString *chosenFilter);
using SavePathHook = std::function<QString(const QString &title, const QString &suggested, const QString &filter,
                                           QString *chosenFilter)>;
void SetSavePathHook(SavePathHook hook);
