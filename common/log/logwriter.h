// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

class LogStore;
class QMimeData;
class QString;

// Writing the log out: to a page that keeps the colours, whole or not at
// all (see saveFile), so a full disk or a failed write never leaves a
// half-written file under the chosen name; or to the clipboard.
namespace LogWriter {

// (The text as a copy gives it is saved in slices: see LogSave.)
// A page that keeps every colour (a span per run, the text escaped).
Problem writeHtml(const LogStore &store, const QString &title, const QString &path);
// [from, to) for the clipboard, as UTF-8: no second copy of a large
// selection is made.
QMimeData *mimeData(const LogStore &store, qint64 from, qint64 to);

} // namespace LogWriter
