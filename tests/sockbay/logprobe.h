#pragma once

#include "lamp.h"
#include "logpane.h"
#include "timestamp.h"

#include <QDateTime>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// Reading the log as a user sees it: its lines, and the colour a piece of it
// was written in.
namespace logprobe {

inline QStringList lines(const LogPane *log)
{
    return log->logText().split(u'\n');
}

inline QString lastLine(const LogPane *log)
{
    return lines(log).constLast();
}

// The message of a line: what follows its time stamp. Empty when the line
// does not start with a stamp of the last minute.
inline QString message(const QString &line)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (int back = 0; back <= 60; ++back) {
        const QString stamp = GeneralDateTime(now.addSecs(-back));
        if (line.startsWith(stamp))
            return line.mid(stamp.size());
    }
    return QString();
}

// Every line in order, a stamped line as its message, any other as it is
// (a result piece after a closing entry stands alone on its line).
inline QStringList messages(const LogPane *log)
{
    QStringList out;
    for (const QString &line : lines(log)) {
        const QString m = message(line);
        out << (m.isEmpty() ? line : m);
    }
    return out;
}

// The 0x00BBGGRR colour of the last occurrence of `piece`, or -1.
inline qint64 colourOf(const LogPane *log, const QString &piece)
{
    const QTextDocument *doc = log->document();
    const QTextCursor found = doc->find(piece, doc->characterCount(), QTextDocument::FindBackward);
    if (found.isNull())
        return -1;
    QTextCursor at(const_cast<QTextDocument *>(doc));
    at.setPosition(found.selectionStart() + 1);
    const QColor c = at.charFormat().foreground().color();
    return qint64(quint32(c.red()) | quint32(c.green()) << 8 | quint32(c.blue()) << 16);
}

} // namespace logprobe
