// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class LogStore;
class QMimeData;

// Writing the log out to the clipboard (to a file: see LogSave).
namespace LogWriter {

// [from, to) for the clipboard, as UTF-8: no second copy of a large
// selection is made. `dump`: its listings as the dump view shows them.
QMimeData *mimeData(const LogStore &store, qint64 from, qint64 to, bool dump = false);

} // namespace LogWriter
