// SPDX-License-Identifier: MIT
// How exactly frames by silence are cut and stamped, over a pty (comm) and
// over loopback (sockbay), beside a plain reader of the same link that
// stamps each read as it comes. The far end writes frames of 8 bytes from a
// thread of its own with silences of 30 to 120 ms; the window cuts at a
// 20 ms gap. Prints, per link and reader: the frames, how many entries
// matched a frame exactly, and the stamp minus the writing (median, 95th
// percentile, most), in milliseconds.
//
//   bench_framing [--frames N]
#include "form1.h"
#include "framing.h"
#include "frmsockbay.h"
#include "ptypair.h"
#include "resultline.h"
#include "serialcontrol.h"
#include "socketcontrol.h"
#include "timestamp.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <termios.h>

namespace {

constexpr int kGapMs = 20;

struct Script
{
    QList<QByteArray> frames;
    QList<int> afterMs;
};

Script script(int n)
{
    QRandomGenerator rng(7);
    Script s;
    for (int i = 0; i < n; ++i) {
        QByteArray frame(8, Qt::Uninitialized);
        for (char &c : frame)
            c = char(rng.bounded(256));
        s.frames << frame;
        s.afterMs << (i == 0 ? 0 : 30 + int(rng.bounded(91)));
    }
    return s;
}

void report(const char *link, const char *reader, qsizetype frames, qsizetype matched, QList<qint64> errors)
{
    std::sort(errors.begin(), errors.end());
    const auto at = [&](double q) { return errors.isEmpty() ? -1 : errors[qsizetype(q * double(errors.size() - 1))]; };
    std::printf("%-9s %-7s %7lld %8lld %10lld %8lld %8lld\n", link, reader, qlonglong(frames), qlonglong(matched),
                qlonglong(at(0.5)), qlonglong(at(0.95)), qlonglong(errors.isEmpty() ? -1 : errors.last()));
    std::fflush(stdout);
}

// A plain reader: stamps each read as it comes (`reader` hands each to the
// function it is given), and cuts frames where a read came `kGapMs` or
// more after the one before.
using Reader = std::function<void(std::function<void(const QByteArray &)>)>;
void plainRun(const Reader &reader, int writeFd, const Script &s, const char *link)
{
    QList<qint64> readAt;
    QList<QByteArray> reads;
    reader([&](const QByteArray &read) {
        readAt << QDateTime::currentMSecsSinceEpoch();
        reads << read;
    });
    FrameWriter writer(writeFd, s.frames, s.afterMs);
    qsizetype total = 0;
    for (const QByteArray &f : s.frames)
        total += f.size();
    runUntil([&] {
        qsizetype got = 0;
        for (const QByteArray &r : reads)
            got += r.size();
        return got >= total;
    }, 60000);
    writer.join();
    QList<QByteArray> frames;
    QList<qint64> stamps;
    for (qsizetype i = 0; i < reads.size(); ++i) {
        if (i == 0 || readAt[i] - readAt[i - 1] >= kGapMs) {
            frames << QByteArray();
            stamps << readAt[i];
        }
        frames.last() += reads[i];
    }
    qsizetype matched = 0;
    QList<qint64> errors;
    for (qsizetype i = 0; i < std::min(frames.size(), s.frames.size()); ++i) {
        matched += frames[i] == s.frames[i];
        errors << stamps[i] - writer.writtenAt()[i];
    }
    report(link, "plain", s.frames.size(), matched, errors);
}

// The window: frames by silence at kGapMs, stamps to the millisecond.
void windowRun(ConsoleWindow &w, int writeFd, const Script &s, const char *link)
{
    w.OptArrv[1]->setChecked(true);
    w.setFraming(kGapMs, true);
    QList<qint64> errors;
    qsizetype matched = 0;
    // A frame at a time, so that one miss does not shift every other.
    for (qsizetype i = 0; i < s.frames.size(); ++i) {
        const QString problem = framesRun(w.TxtMsg, writeFd, {s.frames[i]}, {s.afterMs[i]}, &errors);
        matched += problem.isEmpty();
    }
    report(link, "window", s.frames.size(), matched, errors);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Script s = script(intOption(app.arguments(), QStringLiteral("--frames"), 100, 2));
    std::printf("%-9s %-7s %7s %8s %10s %8s %8s\n", "link", "reader", "frames", "matched", "median ms", "p95 ms",
                "most ms");

    {
        PtyPair pty;
        const int slave = ::open(QFile::encodeName(pty.devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        ::tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        {
            QSocketNotifier notifier(slave, QSocketNotifier::Read);
            plainRun([&](const std::function<void(const QByteArray &)> &got) {
                QObject::connect(&notifier, &QSocketNotifier::activated, [slave, got] {
                    char buffer[4096];
                    const ssize_t n = ::read(slave, buffer, sizeof buffer);
                    if (n > 0)
                        got(QByteArray(buffer, n));
                });
            }, pty.master(), s, "pty");
        }
        ::close(slave);
        pty.linkAs(1);
        Form1 w(new SerialControl);
        w.CmdOpen->click();
        windowRun(w, pty.master(), s, "pty");
    }
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        client.waitForConnected(5000);
        server.waitForNewConnection(5000);
        std::unique_ptr<QTcpSocket> served(server.nextPendingConnection());
        // The plain reader: a bare QTcpSocket.
        plainRun([&](const std::function<void(const QByteArray &)> &got) {
            QObject::connect(served.get(), &QTcpSocket::readyRead, [&served, got] { got(served->readAll()); });
        }, int(client.socketDescriptor()), s, "loopback");
    }
    {
        QTcpServer peer;
        peer.listen(QHostAddress::LocalHost, 0);
        FrmSockbay w(new SocketControl);
        w.TxtRIP->setText(QStringLiteral("127.0.0.1"));
        w.TxtRPort->setText(QString::number(peer.serverPort()));
        w.CmdCnn->click();
        if (!peer.hasPendingConnections())
            peer.waitForNewConnection(5000);
        std::unique_ptr<QTcpSocket> far(peer.nextPendingConnection());
        windowRun(w, int(far->socketDescriptor()), s, "loopback");
    }
    return 0;
}
