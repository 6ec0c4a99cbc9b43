// SPDX-License-Identifier: MIT
#include "logwriter.h"

#include "logcolours.h"
#include "logstore.h"
#include "savefile.h"

#include <QIODevice>
#include <QMimeData>

#include <algorithm>

namespace LogWriter {

Problem writeHtml(const LogStore &store, const QString &title, const QString &path)
{
    return saveFile(path, [&](QIODevice &out) {
        bool ok = true;
        const auto put = [&](const QString &text) {
            const QByteArray utf8 = text.toUtf8();
            ok = ok && out.write(utf8) == utf8.size();
        };
        put(QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + title.toHtmlEscaped()
            + QStringLiteral("</title></head>\n<body><pre style=\"white-space: pre-wrap\">"));
        // A run of one colour at a time, in bounded pieces.
        constexpr qint64 kPiece = 1 << 20;
        for (qint64 at = 0; ok && at < store.size();) {
            qint64 from = at, to = at;
            const quint32 colour = store.colourAt(at, &from, &to);
            const qint64 end = std::min(to, at + kPiece);
            const QString text = store.text(at, end).toHtmlEscaped();
            if (to == at + 1 && text == QStringLiteral("\n"))
                put(text); // a line break has no colour of its own
            else
                put(QStringLiteral("<span style=\"color:#%1\">").arg(rgbFromBgr(colour), 6, 16, QLatin1Char('0')) + text
                    + QStringLiteral("</span>"));
            at = end;
        }
        put(QStringLiteral("</pre></body></html>\n"));
        return ok;
    });
}

QMimeData *mimeData(const LogStore &store, qint64 from, qint64 to)
{
    auto *data = new QMimeData;
    if (store.text(from, from + 1) == QChar(0xFEFF)) {
        // Text read back from UTF-8 loses a leading byte order mark.
        data->setText(store.text(from, to));
        return data;
    }
    QByteArray utf8;
    utf8.reserve(qsizetype(store.utf8Size(from, to))); // no more than the text itself
    store.writeUtf8(from, to, [&](const char *bytes, qint64 n) { utf8.append(bytes, n); });
    data->setData(QStringLiteral("text/plain"), utf8); // read as UTF-8
    return data;
}

} // namespace LogWriter
