// SPDX-License-Identifier: MIT
#include "logwriter.h"

#include "logdump.h"
#include "logstore.h"

#include <QMimeData>

namespace LogWriter {

QMimeData *mimeData(const LogStore &store, qint64 from, qint64 to, bool dump)
{
    auto *data = new QMimeData;
    if (store.text(from, from + 1) == QChar(0xFEFF)) {
        // Text read back from UTF-8 loses a leading byte order mark.
        data->setText(dump ? LogDump::text(store, from, to) : store.text(from, to));
        return data;
    }
    QByteArray utf8;
    const auto append = [&](const char *bytes, qint64 n) { utf8.append(bytes, qsizetype(n)); };
    if (dump) {
        utf8.reserve(qsizetype(LogDump::utf8Size(store, from, to)));
        LogDump::writeUtf8(store, from, to, append);
    } else {
        utf8.reserve(qsizetype(store.utf8Size(from, to))); // no more than the text itself
        store.writeUtf8(from, to, append);
    }
    data->setData(QStringLiteral("text/plain"), utf8); // read as UTF-8
    return data;
}

} // namespace LogWriter
