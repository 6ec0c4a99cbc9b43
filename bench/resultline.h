// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>

// The fields of one result line ("key=value key=value ..."), as the
// benchmarks print them, for their closing tables.
inline QHash<QByteArray, QByteArray> resultFields(const QByteArray &line)
{
    QHash<QByteArray, QByteArray> fields;
    for (const QByteArray &pair : line.split(' ')) {
        const int eq = pair.indexOf('=');
        if (eq > 0)
            fields.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return fields;
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), -1 when absent.
inline qint64 procStatusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
