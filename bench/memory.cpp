// SPDX-License-Identifier: MIT
// What a received byte costs in memory, by the shape of the traffic: a
// stream of one kind through the network tester's window over loopback, in
// text or in byte mode, and the process's peak resident memory growth
// divided by the bytes received. Each measurement runs in a child process
// of its own, so that its peak is its own; the parent prints the table.
//
// Run: bench_memory [--mib N] [--shape S --mode M [--every SECONDS]]
// (--every: the resident memory as the stream goes, for a long run)

#include "frmsockbay.h"
#include "logpane.h"
#include "ports.h"
#include "resultline.h"
#include "socketcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

// The kinds of traffic: lines of three lengths (80 bytes fit the pane, 100
// do not), a device's short replies, a device that spews blank lines, and
// bytes at random (in text mode, many invalid sequences).
const QStringList kShapes = {QStringLiteral("lines100"), QStringLiteral("lines80"), QStringLiteral("lines33"),
                             QStringLiteral("ok"), QStringLiteral("newlines"), QStringLiteral("random")};

// One MiB of `shape`, repeated to make the stream.
QByteArray mebibyteOf(const QString &shape)
{
    QByteArray out;
    out.reserve(1 << 20);
    if (shape == QLatin1String("random")) {
        QRandomGenerator random(18);
        out.resize(1 << 20);
        for (char &c : out)
            c = char(random.bounded(256));
        return out;
    }
    const QByteArray unit = shape == QLatin1String("ok")         ? QByteArray("OK\r\n")
                            : shape == QLatin1String("newlines") ? QByteArray("\n")
                            : shape == QLatin1String("lines33")  ? QByteArray(31, 'x') + "\r\n"
                            : shape == QLatin1String("lines80")  ? QByteArray(78, 'x') + "\r\n"
                                                                 : QByteArray(98, 'x') + "\r\n";
    while (out.size() < (1 << 20))
        out += unit;
    out.truncate(1 << 20);
    return out;
}

int child(const QString &shape, bool bytes, qint64 mib, int every)
{
    FrmSockbay window(new SocketControl);
    window.show();
    if (bytes)
        window.OptArrv[1]->click();
    const quint16 port = freePort();
    window.TxtLPort->setText(QString::number(port));
    window.CmdLstn->click();
    QCoreApplication::processEvents();
    const qint64 baselineKib = procStatusKib("VmRSS:");

    const QByteArray piece = mebibyteOf(shape);
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(10000)) {
            for (qint64 i = 0; i < mib; ++i) {
                socket.write(piece);
                while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(10000)) {
                }
            }
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(10000);
        }
        sent = true;
    });
    // Done once the sender is done and the window has logged the end of
    // its connection (what came before an end stands before its line).
    QElapsedTimer clock;
    clock.start();
    const auto ended = [&] {
        return sent && !window.Receiving && window.Winsock1->State() == Winsock::sckListening
            && window.TxtMsg->store().lineCount() > 2;
    };
    qint64 nextSample = every * 1000;
    if (every > 0)
        std::printf("%8s %14s %12s %12s\n", "seconds", "log chars", "RSS MiB", "peak MiB");
    while (!ended() && clock.elapsed() < 3600000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (every > 0 && clock.elapsed() >= nextSample) {
            std::printf("%8lld %14lld %12.1f %12.1f\n", clock.elapsed() / 1000, window.TxtMsg->store().size(),
                        double(procStatusKib("VmRSS:")) / 1024, double(procStatusKib("VmHWM:")) / 1024);
            std::fflush(stdout);
            nextSample += every * 1000;
        }
    }
    const double seconds = clock.elapsed() / 1000.0;
    sender.join();
    const qint64 hwmKib = procStatusKib("VmHWM:");
    const qint64 rssKib = procStatusKib("VmRSS:");
    const double received = double(mib << 20);
    std::printf("bench_memory shape=%s mode=%s mib=%lld seconds=%.1f hwm_growth_mib=%.1f per_byte=%.2f "
                "rss_growth_mib=%.1f log_chars=%lld log_lines=%lld\n",
                qPrintable(shape), bytes ? "bytes" : "text", mib, seconds, double(hwmKib - baselineKib) / 1024,
                double(hwmKib - baselineKib) * 1024 / received, double(rssKib - baselineKib) / 1024,
                window.TxtMsg->store().size(), window.TxtMsg->store().lineCount());
    std::fflush(stdout);
    return ended() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto value = [&](const char *key, const QString &otherwise) {
        const qsizetype i = args.indexOf(QLatin1String(key));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : otherwise;
    };
    const qint64 mib = value("--mib", QStringLiteral("100")).toLongLong();
    if (args.contains(QLatin1String("--shape")))
        return child(value("--shape", QString()), value("--mode", QString()) == QLatin1String("bytes"), mib,
                     value("--every", QStringLiteral("0")).toInt());

    std::printf("%-9s %-6s %8s %15s %9s %15s %12s\n", "shape", "mode", "seconds", "peak growth MiB", "per byte",
                "RSS after MiB", "log lines");
    int failures = 0;
    for (const QString &mode : {QStringLiteral("text"), QStringLiteral("bytes")}) {
        for (const QString &shape : kShapes) {
            QProcess run; // (what the child says on standard error is Qt's own: fonts)
            run.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--shape"), shape, QStringLiteral("--mode"), mode, QStringLiteral("--mib"),
                       QString::number(mib)});
            run.waitForFinished(-1);
            failures += run.exitCode() != 0;
            const QByteArray line = run.readAllStandardOutput().trimmed();
            const auto f = resultFields(line);
            std::printf("%-9s %-6s %8s %15s %9s %15s %12s%s\n", qPrintable(shape), qPrintable(mode),
                        f.value("seconds").constData(), f.value("hwm_growth_mib").constData(),
                        f.value("per_byte").constData(), f.value("rss_growth_mib").constData(),
                        f.value("log_lines").constData(), run.exitCode() != 0 ? "  (did not end)" : "");
            std::fflush(stdout);
        }
    }
    return failures == 0 ? 0 : 1;
}
