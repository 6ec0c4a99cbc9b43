// SPDX-License-Identifier: MIT
// The network tester serving several clients at once (同时接受多个连接), over
// loopback, in one run:
// - N clients each send K KiB at once, as fast as the window takes them;
//   every client's bytes must be logged whole, in order, under its own name.
//   Beside it, a plain QTcpServer reads the same N streams and only counts.
// - Clients connect and close, one after another, many times over: the
//   process's open descriptors and resident memory after a warm-up and at
//   the end must stay flat.
//
//   bench_clients [--clients N] [--kib N] [--cycles N]
#include "frmsockbay.h"
#include "logpane.h"
#include "logreader.h"
#include "ports.h"
#include "resultline.h"
#include "servedclients.h"
#include "socketcontrol.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Runs the event loop until `done` or `ms` pass; false on the time-out.
template<typename Done>
bool runUntil(Done done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

QByteArray clientData(int i, int bytes)
{
    QByteArray data;
    while (data.size() < bytes)
        data += "c" + QByteArray::number(i) + "-" + QByteArray::number(data.size()) + ";";
    data.truncate(bytes);
    return data;
}

struct Clients
{
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    QHash<QString, QByteArray> sent; // by "127.0.0.1:port"

    bool dial(quint16 port, int n, int bytes)
    {
        for (int i = 0; i < n; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, port);
            if (!socket->waitForConnected(5000))
                return false;
            sent.insert(QStringLiteral("127.0.0.1:%1").arg(socket->localPort()), clientData(i, bytes));
            sockets.push_back(std::move(socket));
        }
        return true;
    }
    void sendAll()
    {
        for (auto &socket : sockets)
            socket->write(sent.value(QStringLiteral("127.0.0.1:%1").arg(socket->localPort())));
    }
};

// What each client's entries hold, by its name.
QHash<QString, QByteArray> logged(const LogPane *log)
{
    QHash<QString, QByteArray> got;
    const QString open = QStringLiteral("  接收文本（");
    for (const QString &line : logreader::logLines(log)) {
        const qsizetype at = line.indexOf(open);
        if (at < 0)
            continue;
        const qsizetype close = line.indexOf(QStringLiteral("）：  "), at);
        got[line.mid(at + open.size(), close - at - open.size())] += line.mid(close + 4).toUtf8();
    }
    return got;
}

qint64 total(const QHash<QString, QByteArray> &streams)
{
    qint64 n = 0;
    for (const QByteArray &s : streams)
        n += s.size();
    return n;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = intOption(args, QStringLiteral("--clients"), 50, 1);
    const int kib = intOption(args, QStringLiteral("--kib"), 1024, 1);
    const int cycles = intOption(args, QStringLiteral("--cycles"), 1000, 100);
    const int bytes = kib * 1024;

    // The plain server: reads and counts.
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        qint64 got = 0;
        std::vector<QTcpSocket *> peers;
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *peer = server.nextPendingConnection()) {
                peers.push_back(peer);
                QObject::connect(peer, &QTcpSocket::readyRead, [&got, peer] { got += peer->readAll().size(); });
            }
        });
        Clients clients;
        if (!clients.dial(server.serverPort(), n, bytes))
            return 1;
        QElapsedTimer t;
        t.start();
        clients.sendAll();
        runUntil([&] { return got >= qint64(n) * bytes; }, 120000);
        std::printf("bench=clients reader=plain clients=%d kib_each=%d seconds=%.3f whole=%s\n", n, kib,
                    t.elapsed() / 1000.0, got == qint64(n) * bytes ? "yes" : "no");
        std::fflush(stdout);
    }

    FrmSockbay window(new SocketControl);
    window.show();
    window.setMultiClient(true);
    const quint16 port = freePort();
    window.TxtLPort->setText(QString::number(port));
    window.CmdLstn->click();
    {
        Clients clients;
        if (!clients.dial(port, n, bytes))
            return 1;
        runUntil([&] { return window.servedClients()->count() == n; }, 10000);
        QElapsedTimer t;
        t.start();
        clients.sendAll();
        // The log is read back only once it is long enough to hold it all
        // (its size costs nothing to ask): the reading is not measured.
        const qint64 all = qint64(n) * bytes;
        double seconds = 0;
        runUntil(
            [&] {
                if (window.TxtMsg->store().size() < all)
                    return false;
                seconds = t.elapsed() / 1000.0;
                return total(logged(window.TxtMsg)) >= all;
            },
            300000);
        const bool whole = logged(window.TxtMsg) == clients.sent;
        std::printf("bench=clients reader=window clients=%d kib_each=%d seconds=%.3f whole=%s\n", n, kib, seconds,
                    whole ? "yes" : "no");
        std::fflush(stdout);
    }
    window.CmdStop->click();
    window.CmdClear->click();
    window.CmdLstn->click();

    // Connect and close, again and again.
    const auto cycle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, port);
            client.waitForConnected(5000);
            runUntil([&] { return window.servedClients()->count() == 1; }, 5000);
            client.disconnectFromHost();
            runUntil([&] { return window.servedClients()->count() == 0; }, 5000);
        }
        // Clients ended are deleted on the next turn.
        QCoreApplication::processEvents();
    };
    cycle(100);
    window.CmdClear->click();
    const int fdBefore = openDescriptors();
    const qint64 rssBefore = procStatusKib("VmRSS:");
    QElapsedTimer t;
    t.start();
    cycle(cycles);
    window.CmdClear->click();
    QCoreApplication::processEvents();
    std::printf("bench=clients cycles=%d seconds=%.2f fds_before=%d fds_after=%d rss_kib_before=%lld "
                "rss_kib_after=%lld\n",
                cycles, t.elapsed() / 1000.0, fdBefore, openDescriptors(), rssBefore, procStatusKib("VmRSS:"));
    return 0;
}
