// SPDX-License-Identifier: MIT
// What the log costs as the tools use it. The pane is shown at the tools'
// size and every measurement includes handing control back to the event
// loop, so layout and painting are paid as in the program.
#include "lamp.h"
#include "logpane.h"
#include "logrows.h"
#include "logsearch.h"
#include "payload.h"
#include "procstatus.h"
#include "timestamp.h"
#include "twips.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

QByteArray randomBytes(qsizetype n)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (auto &c : b)
        c = char(gen.bounded(256));
    return b;
}

void settle()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A listing as the tools write it: the header entry, then the whole listing
// as one piece, kept as its bytes.
double onePiece(LogPane &log, const QByteArray &bytes)
{
    QElapsedTimer t;
    t.start();
    log.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收数据："));
    log.appendListing(kBlack, bytes);
    settle();
    return t.nsecsElapsed() / 1e6;
}

// The same listing, one piece per byte.
double perByte(LogPane &log, const QByteArray &bytes)
{
    QElapsedTimer t;
    t.start();
    log.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收数据："));
    for (const char c : bytes)
        log.appendListing(kBlack, QByteArray(1, c));
    settle();
    return t.nsecsElapsed() / 1e6;
}

// The time of one full repaint of the pane, averaged.
double paintMs(LogPane &log)
{
    settle();
    QElapsedTimer t;
    t.start();
    constexpr int kTimes = 50;
    for (int i = 0; i < kTimes; ++i)
        log.viewport()->repaint();
    return t.nsecsElapsed() / 1e6 / kTimes;
}

// 100 MiB received in entries of 2 MiB (as a flood is logged), then select
// all, copy, clear: their times, and what the log and the copy cost in
// memory.
void bigLog(bool listing)
{
    constexpr qint64 kEntry = 2 << 20;
    constexpr int kEntries = 50;
    const QByteArray bytes = randomBytes(kEntry);
    QString text(kEntry, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(u'a' + char16_t(i % 26));
    const qint64 rssBefore = procStatusKib("VmRSS:");
    LogPane log;
    log.resize(tw(8655), tw(3810));
    log.show();
    settle();
    QElapsedTimer t;
    t.start();
    double slowest = 0;
    for (int i = 0; i < kEntries; ++i) {
        QElapsedTimer one;
        one.start();
        if (listing) {
            log.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收数据："));
            log.appendListing(kBlack, bytes);
        } else {
            log.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收文本：  ") + text);
        }
        settle();
        slowest = std::max(slowest, one.nsecsElapsed() / 1e6);
    }
    const double appendS = t.nsecsElapsed() / 1e9;
    const qint64 rssLog = procStatusKib("VmRSS:");
    const double received = double(kEntry) * kEntries;
    const double paint = paintMs(log);
    const double stored = double(log.store().bytesUsed()) / received;

    // A search through all of it (a text that is not there), between
    // events: a text no listing shows, and bytes that are not there (no
    // run of eight bytes repeats in the random listing).
    LogSearch search(log.store());
    bool searched = false;
    QObject::connect(&search, &LogSearch::finished, [&] { searched = true; });
    const auto timeFind = [&](const QString &needle) {
        searched = false;
        t.restart();
        search.start(needle, 0, false);
        while (!searched)
            QCoreApplication::processEvents();
        return t.nsecsElapsed() / 1e6;
    };
    const double findMs = timeFind(QStringLiteral("zq!"));
    const double findHexMs = timeFind(QStringLiteral("DE  AD  BE  EF  DE  AD  BE  EF"));

    log.setFocus();
    t.restart();
    log.selectAll();
    log.copy();
    const double copyMs = t.nsecsElapsed() / 1e6;
    const qint64 rssCopy = procStatusKib("VmRSS:");
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    const qint64 copiedBytes = copied ? copied->data(QStringLiteral("text/plain")).size() : 0;

    t.restart();
    log.clearLog();
    settle();
    const double clearMs = t.nsecsElapsed() / 1e6;
    QGuiApplication::clipboard()->clear();

    const char *what = listing ? "100 MiB bytes" : "100 MiB text";
    std::printf("%-34s %12.2f s (%.0f MiB/s), slowest entry %.1f ms\n", (std::string(what) + ", append").c_str(),
                appendS, received / (1 << 20) / appendS, slowest);
    std::printf("%-34s %12.2f B per received byte (the store %.2f)\n", (std::string(what) + ", memory").c_str(),
                (rssLog - rssBefore) * 1024.0 / received, stored);
    std::printf("%-34s %12.1f ms\n", (std::string(what) + ", one repaint").c_str(), paint);
    std::printf("%-34s %12.0f ms, %.0f MiB copied, memory +%.0f MiB\n", (std::string(what) + ", select all+copy").c_str(),
                copyMs, copiedBytes / 1048576.0, (rssCopy - rssLog) / 1024.0);
    std::printf("%-34s %12.0f ms\n", (std::string(what) + ", find, no match").c_str(), findMs);
    std::printf("%-34s %12.0f ms\n", (std::string(what) + ", find hex, no match").c_str(), findHexMs);
    std::printf("%-34s %12.1f ms\n", (std::string(what) + ", clear").c_str(), clearMs);
    std::fflush(stdout);
}

// The store and the rows a pane counts as the text comes, without a pane:
// 100 MiB of lines `length` characters long with their break, 64 KiB a
// write, at 80 columns (a line of 100 wraps, one of 80 fits). MiB/s.
double storeAndRows(int length)
{
    LogStore store;
    LogRows rows(store);
    rows.setColumns(80);
    const QString line = QString(length - 1, u'x') + u'\n';
    const QString chunk = line.repeated((1 << 16) / length);
    QElapsedTimer t;
    t.start();
    qint64 total = 0;
    while (total < (qint64(100) << 20)) {
        const qint64 changed = store.lineCount() - 1;
        store.append(0, chunk);
        rows.linesChanged(changed);
        total += chunk.size();
    }
    return double(total) / (1 << 20) / (t.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::printf("%-34s %12s %12s %8s\n", "listing", "one piece ms", "per byte ms", "ratio");
    for (qsizetype size : {qsizetype(1024), qsizetype(8 * 1024), qsizetype(32 * 1024), qsizetype(1024 * 1024)}) {
        const QByteArray bytes = randomBytes(size);
        LogPane a;
        a.resize(tw(8655), tw(3810));
        a.show();
        settle();
        const double one = onePiece(a, bytes);
        // Per byte is quadratic: measured up to 8 KiB only.
        double each = -1;
        if (size <= 8 * 1024) {
            LogPane b;
            b.resize(tw(8655), tw(3810));
            b.show();
            settle();
            each = perByte(b, bytes);
        }
        const QString label = QStringLiteral("%1 KiB hex listing").arg(size / 1024);
        if (each >= 0)
            std::printf("%-34s %12.1f %12.1f %7.0fx\n", qPrintable(label), one, each, each / one);
        else
            std::printf("%-34s %12.1f %12s %8s\n", qPrintable(label), one, "-", "-");
        std::fflush(stdout);
    }

    // Entries per second, as a busy session writes them: a receive entry of
    // a short line and a piece of another colour. "burst": the event loop
    // runs after every 100 entries (one handler writing many, or many
    // events queued); "one by one": it runs after every entry.
    const QString entry = QStringLiteral("  接收文本：  the quick brown fox jumps over the lazy dog 0123456789");
    auto rate = [&entry](LogPane &log, int count, int every) {
        QElapsedTimer t;
        t.start();
        for (int i = 1; i <= count; ++i) {
            log.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + entry);
            log.AppendLog(kRed, QStringLiteral("失败"));
            if (i % every == 0)
                QCoreApplication::processEvents();
        }
        settle();
        return count / (t.nsecsElapsed() / 1e9);
    };
    LogPane log;
    log.resize(tw(8655), tw(3810));
    log.show();
    settle();
    const double emptyBurst = rate(log, 5000, 100);
    QElapsedTimer fill;
    fill.start();
    rate(log, 100000 - 5000, 1000);
    const double fillS = fill.nsecsElapsed() / 1e9;
    const double fullBurst = rate(log, 5000, 100);
    const double fullEach = rate(log, 5000, 1);
    std::printf("%-34s %12.0f entries/s\n", "entries, burst, empty log", emptyBurst);
    std::printf("%-34s %12.0f entries/s (ratio to empty %.2f)\n", "entries, burst, 100,000-entry log", fullBurst,
                fullBurst / emptyBurst);
    std::printf("%-34s %12.0f entries/s\n", "entries, one by one, 100,000", fullEach);
    std::printf("%-34s %12.1f s\n", "filling to 100,000 entries", fillS);

    // Drawing a screenful with 10 entries and with 1,000,000.
    {
        LogPane small;
        small.resize(tw(8655), tw(3810));
        small.show();
        rate(small, 10, 1);
        const double few = paintMs(small);
        rate(log, 1000000 - 115000, 10000);
        const double many = paintMs(log);
        std::printf("%-34s %12.2f ms with 10 entries, %.2f ms with %lld (ratio %.2f)\n", "one repaint", few, many,
                    log.store().lineCount() - 1, many / few);
        // The large window's view of the logs, a screenful of its own: ten
        // entries long enough to fill it, against the million.
        LogPane ten;
        for (int i = 0; i < 10; ++i)
            ten.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收文本：  ")
                                      + QString(600, QChar(u'a' + i)));
        LogPane smallView(&ten);
        LogPane manyView(&log);
        for (LogPane *view : {&smallView, &manyView}) {
            view->resize(1200, 800);
            view->show();
        }
        const double fewLarge = paintMs(smallView);
        const double manyLarge = paintMs(manyView);
        std::printf("%-34s %12.2f ms with 10 entries, %.2f ms with %lld (ratio %.2f)\n", "large view, one repaint",
                    fewLarge, manyLarge, log.store().lineCount() - 1, manyLarge / fewLarge);
    }
    std::fflush(stdout);
    // The dump view over received entries of 64 bytes: switching it on and
    // off (the rows of every block with a listing laid out again, the store
    // untouched), and a screenful of it at the end of the log.
    for (int entries : {1000, 1000000}) {
        LogPane dumped;
        dumped.resize(tw(8655), tw(3810));
        dumped.show();
        const QByteArray bytes = randomBytes(64);
        for (int i = 1; i <= entries; ++i) {
            dumped.AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  接收数据："));
            dumped.appendListing(kBlack, bytes);
            if (i % 10000 == 0)
                QCoreApplication::processEvents();
        }
        settle();
        QElapsedTimer t;
        t.start();
        dumped.setDumpView(true);
        const double on = t.nsecsElapsed() / 1e6;
        const double paint = paintMs(dumped);
        t.restart();
        dumped.setDumpView(false);
        const double off = t.nsecsElapsed() / 1e6;
        std::printf("%-34s %12.1f ms on, %.1f ms off, one repaint %.2f ms\n",
                    qPrintable(QStringLiteral("dump view, %1 entries").arg(entries)), on, off, paint);
        std::fflush(stdout);
    }
    bigLog(false);
    bigLog(true);
    for (int length : {100, 80})
        std::printf("%-34s %12.0f MiB/s\n", qPrintable(QStringLiteral("store and rows, lines of %1").arg(length)),
                    storeAndRows(length));
    return 0;
}
