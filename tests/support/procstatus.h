// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>

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
