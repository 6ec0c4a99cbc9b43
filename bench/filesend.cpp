// SPDX-License-Identifier: MIT
// Sending a 10 MiB file through the window (the send box menu's 发送文件…,
// FileSend), over loopback (sockbay) and over a pty (comm), beside a plain
// write() of the same bytes to the same kind of link (and, on loopback, a
// bare QTcpSocket handed them all at once); with how late a 50 ms
// timer in the window fired at worst while it went, and how soon a cancel
// stopped it. A thread of its own reads the far end as fast as it comes.
//
//   bench_filesend [--mib N]
#include "filesend.h"
#include "form1.h"
#include "frmsockbay.h"
#include "framewriter.h"
#include "ptypair.h"
#include "resultline.h"
#include "serialcontrol.h"
#include "socketcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads `fd` until `total` bytes came (or it ends); notes when the last came.
class Drain
{
public:
    Drain(int fd, qint64 total)
    {
        m_thread = std::thread([this, fd, total] {
            char buffer[1 << 16];
            while (m_got < total) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 5000) <= 0)
                    break;
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                m_got += n;
            }
            m_doneAt = std::chrono::steady_clock::now();
            m_done = true;
        });
    }
    ~Drain() { m_thread.join(); }
    bool done() const { return m_done; }
    qint64 got() const { return m_got; }
    // Seconds from `start` to the last byte (once done).
    double secondsSince(std::chrono::steady_clock::time_point start) const
    {
        return std::chrono::duration<double>(m_doneAt - start).count();
    }

private:
    std::atomic<qint64> m_got{0};
    std::atomic<bool> m_done{false};
    std::chrono::steady_clock::time_point m_doneAt;
    std::thread m_thread;
};

// Runs the event loop until `done`, noting the worst lateness of a 50 ms
// timer meanwhile.
template<typename Done>
qint64 runWatching(Done done, int timeoutMs)
{
    QElapsedTimer since;
    since.start();
    qint64 last = 0, worst = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = since.elapsed();
        worst = std::max(worst, now - last - 50);
        last = now;
    });
    beat.start(50);
    runUntil(done, timeoutMs);
    return worst;
}

void line(const char *link, const char *how, qint64 bytes, double seconds, qint64 late, double cancelMs)
{
    std::printf("%-9s %-7s %10lld %9.3f %9.1f %8lld %10s\n", link, how, qlonglong(bytes), seconds,
                double(bytes) / (1 << 20) / seconds, qlonglong(late),
                cancelMs < 0 ? "-" : qPrintable(QString::number(cancelMs, 'f', 2)));
    std::fflush(stdout);
}

// A plain blocking write of `bytes` to `fd`, timed until the far end has them.
void plainWrite(int fd, const QByteArray &bytes, Drain &drain, const char *link)
{
    const auto start = std::chrono::steady_clock::now();
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(std::min<qsizetype>(1 << 16, bytes.size() - done)));
        if (n > 0)
            done += n;
        else if (errno != EAGAIN && errno != EINTR)
            break;
    }
    while (!drain.done())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    line(link, "plain", drain.got(), drain.secondsSince(start), 0, -1);
}

// The window sends `path`; timed until the far end has it all. Then again,
// cancelled 100 ms in: how long the cancel took to stop it.
void windowSend(ConsoleWindow &w, const QString &path, qint64 size, Drain &drain, const char *link)
{
    FileSend &send = *w.fileSend();
    const auto start = std::chrono::steady_clock::now();
    if (send.start(path))
        return;
    const qint64 late = runWatching([&] { return drain.done(); }, 60000);
    line(link, "window", drain.got(), drain.secondsSince(start), late, -1);
    Q_UNUSED(size);
}

double cancelMs(ConsoleWindow &w, const QString &path)
{
    FileSend &send = *w.fileSend();
    if (send.start(path, FileSend::Pace::PerLine, 1))
        return -1;
    QElapsedTimer t;
    qint64 handedAtCancel = -1;
    QTimer::singleShot(100, [&] {
        t.start();
        handedAtCancel = send.handedOver();
        send.cancel();
    });
    runWatching([&] { return !send.running(); }, 10000);
    const double ms = t.nsecsElapsed() / 1e6;
    return send.handedOver() == handedAtCancel ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 mib = intOption(app.arguments(), QStringLiteral("--mib"), 10, 1);
    QByteArray content(mib << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i % 61 == 60 ? '\n' : 'a' + i % 26);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return 1;
    }
    std::printf("%-9s %-7s %10s %9s %9s %8s %10s\n", "link", "how", "bytes", "seconds", "MiB/s", "late ms", "cancel ms");

    // Loopback: a peer of plain sockets, read by a thread.
    const auto listener = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(s, 1);
        return s;
    };
    const auto portOf = [](int s) {
        sockaddr_in a{};
        socklen_t n = sizeof a;
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &n);
        return ntohs(a.sin_port);
    };
    {
        const int server = listener();
        const int client = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(portOf(server));
        ::connect(client, reinterpret_cast<sockaddr *>(&a), sizeof a);
        const int peer = ::accept(server, nullptr, nullptr);
        Drain drain(peer, content.size());
        plainWrite(client, content, drain, "loopback");
        ::close(client);
        ::close(peer);
        ::close(server);
    }
    {
        // A bare QTcpSocket handed the whole file at once, as fast as Qt
        // writes it out.
        const int server = listener();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, portOf(server));
        socket.waitForConnected(5000);
        const int peer = ::accept(server, nullptr, nullptr);
        Drain drain(peer, content.size());
        const auto start = std::chrono::steady_clock::now();
        socket.write(content);
        runWatching([&] { return drain.done(); }, 60000);
        line("loopback", "socket", drain.got(), drain.secondsSince(start), 0, -1);
        ::close(peer);
        ::close(server);
    }
    {
        const int server = listener();
        FrmSockbay w(new SocketControl);
        w.TxtRIP->setText(QStringLiteral("127.0.0.1"));
        w.TxtRPort->setText(QString::number(portOf(server)));
        w.CmdCnn->click();
        const int peer = ::accept(server, nullptr, nullptr);
        {
            Drain drain(peer, content.size());
            windowSend(w, path, content.size(), drain, "loopback");
        }
        Drain rest(peer, std::numeric_limits<qint64>::max());
        const double ms = cancelMs(w, path);
        line("loopback", "cancel", w.fileSend()->handedOver(), 0.1, 0, ms);
        w.CmdClose->click();
        ::close(peer);
        ::close(server);
    }

    // A pty: the device end written plainly, then through the window; the
    // master read by a thread.
    {
        PtyPair pty;
        const int device = ::open(QFile::encodeName(pty.devicePath()).constData(), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(device, &raw);
        cfmakeraw(&raw);
        ::tcsetattr(device, TCSANOW, &raw);
        {
            Drain drain(pty.master(), content.size());
            plainWrite(device, content, drain, "pty");
        }
        ::close(device);
        pty.linkAs(1);
        Form1 w(new SerialControl);
        w.CmdOpen->click();
        {
            Drain drain(pty.master(), content.size());
            windowSend(w, path, content.size(), drain, "pty");
        }
        Drain rest(pty.master(), std::numeric_limits<qint64>::max());
        const double ms = cancelMs(w, path);
        line("pty", "cancel", w.fileSend()->handedOver(), 0.1, 0, ms);
        w.CmdClose->click();
    }
    return 0;
}
