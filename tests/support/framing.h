// SPDX-License-Identifier: MIT
#pragma once

#include "framewriter.h"
#include "logreader.h"
#include "payload.h"

#include <QString>

#include <algorithm>

// One run of frames by silence over a real link: the far end writes
// `frames` (`afterMs` apart) to `fd`; the log must show each as an entry of
// received bytes of its own, exactly. Adds each entry's stamp minus its
// writing to `errors`; returns what went wrong, or nothing.
inline QString framesRun(const LogPane *log, int fd, const QList<QByteArray> &frames, const QList<int> &afterMs,
                         QList<qint64> *errors)
{
    using namespace logreader;
    const QString header = QStringLiteral("  接收数据：");
    const qsizetype before = entriesAfter(log, header).size();
    const qsizetype n = frames.size();
    FrameWriter writer(fd, frames, afterMs);
    const bool all = runUntil([&] { return entriesAfter(log, header).size() >= before + n; }, 5000);
    writer.join();
    runUntil([] { return false; }, 60); // no frame is cut in two after the fact
    QStringList expected;
    for (const QByteArray &frame : frames)
        expected << FormatHexBytes(frame);
    const QStringList entries = entriesAfter(log, header).mid(before);
    if (!all || entries != expected)
        return QStringLiteral("entries: ") + entries.join(u'|') + QStringLiteral(" for ") + expected.join(u'|');
    QStringList lines;
    for (const QString &line : logLines(log))
        if (line.contains(header))
            lines << line;
    for (qsizetype i = 0; i < n; ++i) {
        const QString &line = lines[lines.size() - n + i];
        const qint64 stamped = stampedMs(line);
        if (stamped < 0)
            return QStringLiteral("no stamp to the millisecond: ") + line;
        *errors << stamped - writer.writtenAt()[i];
    }
    return QString();
}

// "min a, median b, max c" of stamp errors (sorts them).
inline QString spread(QList<qint64> &errors)
{
    std::sort(errors.begin(), errors.end());
    return QStringLiteral("stamp minus write, ms: min %1, median %2, max %3")
        .arg(errors.first())
        .arg(errors[errors.size() / 2])
        .arg(errors.last());
}
