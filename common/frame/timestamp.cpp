// SPDX-License-Identifier: MIT
#include "timestamp.h"

namespace {

// Drops the time-zone fields ("t", "tt", "ttt", "tttt") from a QLocale time
// format, leaving quoted literals alone, and tidies the blanks they leave.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == u't') {
            // A blank that only separated the zone from the rest goes with it.
            while (out.endsWith(u' '))
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

} // namespace

QString generalDateTime(const QDateTime &when, const QLocale &locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QString time = locale.toString(when.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    return date + u' ' + time;
}

namespace {
bool s_milliseconds = false;
}

void setStampsCarryMilliseconds(bool on)
{
    s_milliseconds = on;
}

bool stampsCarryMilliseconds()
{
    return s_milliseconds;
}

QString timeStampAt(qint64 wallMs)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(wallMs);
    QString stamp = generalDateTime(when);
    if (s_milliseconds)
        stamp += u'.' + QString::number(when.time().msec()).rightJustified(3, u'0');
    return stamp;
}

QString timeStamp()
{
    return timeStampAt(QDateTime::currentMSecsSinceEpoch());
}
