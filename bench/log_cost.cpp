// What the log costs as the tools use it. The pane is shown at the tools'
// size and every measurement includes handing control back to the event
// loop, so layout and painting are paid as in the program.
#include "lamp.h"
#include "logpane.h"
#include "payload.h"
#include "timestamp.h"
#include "twips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

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
// as one piece.
double onePiece(LogPane &log, const QByteArray &bytes)
{
    QElapsedTimer t;
    t.start();
    log.AppendLog(kBlack, QStringLiteral("\r\n") + TimeStamp() + QStringLiteral("  接收数据："));
    log.AppendLog(kBlack, FormatHexBytes(bytes));
    settle();
    return t.nsecsElapsed() / 1e6;
}

// The same listing, one piece per byte.
double perByte(LogPane &log, const QByteArray &bytes)
{
    QElapsedTimer t;
    t.start();
    log.AppendLog(kBlack, QStringLiteral("\r\n") + TimeStamp() + QStringLiteral("  接收数据："));
    for (const char c : bytes)
        log.AppendLog(kBlack, FormatHexBytes(QByteArray(1, c)));
    settle();
    return t.nsecsElapsed() / 1e6;
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
            log.AppendLog(kBlack, QStringLiteral("\r\n") + TimeStamp() + entry);
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
    return 0;
}
