// SPDX-License-Identifier: MIT
// Drives both testers' windows over their real link controls through many
// short sessions and shows whether anything leaks:
//
//   serial    Form1 on a pseudo-terminal pair: open, a few bytes in, a few
//             bytes out, close
//   listen    FrmSockbay listening on loopback: a client connects, sends a
//             few bytes and closes; the window logs both and listens again
//   connect   FrmSockbay connecting out to a listening QTcpServer here, a
//             few bytes each way, hang-up
//
// Each kind runs in a child process of its own, so its descriptors and
// memory are its own. Open descriptors (/proc/self/fd), resident memory
// (VmRSS) and the heap in use (glibc's mallinfo2, with the per-thread cache
// off so that it counts live blocks) are taken before the first cycle,
// after the warm-up, right after the last cycle and once more after idling
// past the socket control's 10 s linger (the warm-up figure is taken after
// such an idle too, so that the two compare alike). Each cycle's log lines are checked against what it
// should have written, and the far end checks what it got. The log is
// cleared through its button every few cycles and measured right after a
// clear, so that its own growth does not hide (or fake) a leak.
//
//   bench_cycles                  all three kinds, then a table
//   bench_cycles --kind K         one kind (serial, listen, connect)
//   options: --serial N --listen N --connect N (cycles of each kind),
//            --warmup N, --clear-every N, --speed F (clock factor),
//            --series (every measuring point on stderr),
//            --leak-fd, --leak-bytes N (leak on purpose each cycle, to show
//            that the verdict catches it)

#include "clock.h"
#include "form1.h"
#include "frmsockbay.h"
#include "logpane.h"
#include "messagebox.h"
#include "ports.h"
#include "resultline.h"
#include "serialcontrol.h"
#include "socketcontrol.h"
#include "timestamp.h"
#include "winsock.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <memory>
#include <pty.h>
#include <unistd.h>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

// What a kind may grow by between the warm-up and the end and still count
// as flat. Descriptors: none, at the end of any cycle. Resident memory:
// 2 MiB. RSS moves in whole pages and glibc keeps freed memory in its
// arenas, so it wanders by some dozens of KiB; 2 MiB is far above that, and
// it catches on its own any leak above about 4 KiB a cycle over 500 cycles
// (7 KiB over 300). The heap in use is the finer test: 64 bytes a cycle.
// After the warm-up Qt's caches only take a glyph now and then (a few bytes
// a cycle), a few KiB are freed once while idling (most likely Qt's idle
// helper threads ending), and any leaked QObject costs more than 64 bytes.
constexpr qint64 kRssAllowedKib = 2048;
constexpr double kHeapAllowedPerCycle = 64;

// After the warm-up and after the last cycle the process idles this long
// before it is measured: the socket control lets a hung-up connection
// linger for up to 10 s, and what it holds for that time is bounded, not
// leaked.
constexpr int kSettleMs = 11000;

struct Options
{
    QString kind; // the child's kind; empty in the parent
    int serialCycles = 500;
    int listenCycles = 300;
    int connectCycles = 300;
    int warmup = 20;
    int clearEvery = 10;
    double speed = 20; // a one-second settle takes 50 ms
    bool leakFd = false;
    qint64 leakBytes = 0;
    bool series = false; // every measuring point on stderr

    int cycles() const
    {
        return kind == QLatin1String("serial") ? serialCycles
            : kind == QLatin1String("listen")  ? listenCycles
                                               : connectCycles;
    }
};

int openFds()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (std::atoi(entry->d_name) == ::dirfd(dir))
            continue; // the listing's own
        ++count;
    }
    ::closedir(dir);
    return count;
}

qint64 statusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

struct Sample
{
    int fds = 0;
    qint64 rssKib = 0;
    qint64 heapBytes = 0;
};

Sample sample()
{
    const struct mallinfo2 heap = ::mallinfo2();
    return {openFds(), statusKib("VmRSS:"), qint64(heap.uordblks + heap.hblkhd)};
}

// The cycles run from main(), outside exec(): a deferred delete posted at
// this level then waits until it is asked for. Asking after every pass
// stands in for the return to the event loop that follows each user action
// in the program itself.
void pumpEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Runs the event loop until `done` holds; false when the time ran out.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000)
{
    // Wakes the loop for conditions no event announces (a pty's far end).
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(1);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        pumpEvents();
    }
    return true;
}

void runEvents(int ms)
{
    const QDeadlineTimer deadline(ms);
    waitFor([&] { return deadline.hasExpired(); }, ms + 1000);
}

// The message of a stamped log line (what follows a time stamp of the last
// minute); an unstamped line is marked so that it never matches.
QString message(const QString &line)
{
    if (line.isEmpty())
        return line;
    const QDateTime now = QDateTime::currentDateTime();
    for (int back = 0; back <= 60; ++back) {
        const QString stamp = generalDateTime(now.addSecs(-back));
        if (line.startsWith(stamp))
            return line.mid(stamp.size());
    }
    return QStringLiteral("(unstamped) ") + line;
}

struct Result
{
    int cycles = 0;     // done
    int logsOk = 0;     // cycles whose log lines and peer data were right
    bool stuck = false; // a cycle never finished
    double cycleMsTotal = 0;
    double cycleMsMax = 0;
    Sample before, warm, after; // after: right after the last cycle
    Sample settled;             // after idling kSettleMs more
    int fdPeak = 0; // the most descriptors at the end of any cycle after the warm-up
};

// One cycle of a kind. `expected` gets the messages the cycle must log;
// `peerOk` is cleared when the far end got something else than was sent.
// Returns false when the cycle got stuck.
using Cycle = std::function<bool(int n, QStringList &expected, bool &peerOk)>;

class Driver
{
public:
    Driver(ConsoleWindow &window, const Options &options) : m_window(window), m_options(options) {}

    // The log written since the current cycle began.
    QString logSince() const
    {
        return m_window.TxtMsg->textBetween(m_from, m_window.TxtMsg->store().size());
    }

    Result run(const Cycle &cycle)
    {
        Result r;
        const int cycles = m_options.cycles();
        runEvents(50);
        r.before = sample();
        r.warm = r.before;
        int shown = 0;
        for (int n = 1; n <= cycles; ++n) {
            m_from = m_window.TxtMsg->store().size();
            QStringList expected;
            bool peerOk = true;
            QElapsedTimer clock;
            clock.start();
            const bool finished = cycle(n, expected, peerOk);
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            r.cycleMsTotal += ms;
            r.cycleMsMax = std::max(r.cycleMsMax, ms);
            r.cycles = n;

            QStringList got;
            const QStringList lines = logSince().split(u'\n');
            // The first entry of a cycle starts a new line: skip the piece
            // before it, which belongs to the cycle before.
            for (qsizetype i = 1; i < lines.size(); ++i)
                got.append(message(lines.at(i)));
            if (finished && peerOk && got == expected) {
                ++r.logsOk;
            } else if (shown++ < 3) {
                std::fprintf(stderr, "%s cycle %d:%s%s\n  expected: %s\n  logged:   %s\n", qPrintable(m_options.kind),
                             n, finished ? "" : " stuck", peerOk ? "" : " peer got other data",
                             qPrintable(expected.join(QStringLiteral(" | "))),
                             qPrintable(got.join(QStringLiteral(" | "))));
            }
            if (m_options.leakFd)
                (void)::open("/dev/null", O_RDONLY);
            if (m_options.leakBytes > 0)
                std::memset(std::malloc(size_t(m_options.leakBytes)), 1, size_t(m_options.leakBytes));
            if (!finished) {
                r.stuck = true;
                break;
            }
            if (n > m_options.warmup)
                r.fdPeak = std::max(r.fdPeak, openFds());

            if (n % m_options.clearEvery == 0 || n == cycles) {
                m_window.CmdClear->click();
                // Lamps go out, sockets handed to deleteLater go; the two
                // figures compared idle alike first.
                runEvents(n == m_options.warmup ? kSettleMs : 20);
                const Sample s = sample();
                if (m_options.series)
                    std::fprintf(stderr, "%s %d fds=%d rss_kib=%lld heap_b=%lld\n", qPrintable(m_options.kind), n,
                                 s.fds, qlonglong(s.rssKib), qlonglong(s.heapBytes));
                if (n == m_options.warmup)
                    r.warm = s;
                if (n == m_options.warmup)
                    r.fdPeak = s.fds;
                r.after = s;
            }
        }
        runEvents(kSettleMs);
        r.settled = sample();
        if (m_options.series)
            std::fprintf(stderr, "%s settled fds=%d rss_kib=%lld heap_b=%lld\n", qPrintable(m_options.kind),
                         r.settled.fds, qlonglong(r.settled.rssKib), qlonglong(r.settled.heapBytes));
        return r;
    }

private:
    ConsoleWindow &m_window;
    const Options &m_options;
    int m_from = 0;
};

// A pseudo-terminal pair, the device end linked as COM1 in a temporary
// XDG_CONFIG_HOME. The benchmark keeps a descriptor of the device end open
// throughout, so the far end never sees a hang-up between sessions.
class Pty
{
public:
    Pty()
    {
        char name[128] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        QDir(m_config.path()).mkpath(QStringLiteral("comm"));
        QFile::link(QString::fromLocal8Bit(name), m_config.path() + QStringLiteral("/comm/com1"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    }
    ~Pty()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    bool isValid() const { return m_master >= 0; }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // What the device end sent since the last call.
    QByteArray readAvailable()
    {
        QByteArray got;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, n);
        }
        return got;
    }

private:
    QTemporaryDir m_config;
    int m_master = -1;
    int m_slave = -1;
};

Result runSerial(const Options &options)
{
    Pty pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "serial: no pseudo-terminal\n");
        return {};
    }
    Form1 w(new SerialControl);
    w.show();
    Driver driver(w, options);
    return driver.run([&](int n, QStringList &expected, bool &peerOk) {
        const QByteArray ping = "ping " + QByteArray::number(n);
        const QByteArray pong = "pong " + QByteArray::number(n);
        expected = {QStringLiteral(" 打开端口：COM1……成功"), QStringLiteral("  接收文本：  ") + QString::fromLatin1(ping),
                    QStringLiteral("  发送文本：  ") + QString::fromLatin1(pong), QStringLiteral(" 关闭端口"), QString()};
        w.CmdOpen->click();
        if (!w.MSComm1->PortOpen())
            return false;
        // In: wait for the entry, so that the send entry always follows it.
        if (!pty.write(ping))
            return false;
        const QString entry = QStringLiteral("  接收文本：  ") + QString::fromLatin1(ping);
        if (!waitFor([&] { return !w.Receiving && driver.logSince().contains(entry); }))
            return false;
        // Out.
        w.TxtSend->setText(QString::fromLatin1(pong));
        w.CmdSend->click();
        QByteArray got;
        if (!waitFor([&] {
                got += pty.readAvailable();
                return got.size() >= pong.size();
            }))
            return false;
        peerOk = got == pong;
        w.CmdClose->click();
        return !w.MSComm1->PortOpen();
    });
}

Result runListen(const Options &options)
{
    FrmSockbay w(new SocketControl);
    w.TxtRIP->setText(kLoopback);
    w.show();
    const quint16 port = freePort();
    w.TxtLPort->setText(QString::number(port));
    w.CmdLstn->click();
    if (w.Winsock1->State() != Winsock::sckListening) {
        std::fprintf(stderr, "listen: the window did not listen: %s\n", qPrintable(w.TxtMsg->logText()));
        return {};
    }
    Driver driver(w, options);
    return driver.run([&](int n, QStringList &expected, bool &) {
        const QByteArray hello = "hello " + QByteArray::number(n);
        expected = {QStringLiteral("  接受连接请求"), QStringLiteral("  接收文本：  ") + QString::fromLatin1(hello),
                    QStringLiteral("  通讯结束"), QString(), QStringLiteral("  启动侦听:%1……成功").arg(port)};
        QTcpSocket client;
        client.connectToHost(QHostAddress(kLoopback), port);
        if (!waitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }))
            return false;
        client.write(hello);
        if (!waitFor([&] { return client.bytesToWrite() == 0; }))
            return false;
        client.disconnectFromHost();
        // The window listens again from inside its close handler, so once
        // the closing line is there the new listen is too.
        return waitFor([&] {
            return client.state() == QAbstractSocket::UnconnectedState && !w.Receiving
                && driver.logSince().contains(QStringLiteral("  通讯结束"));
        }) && w.Winsock1->State() == Winsock::sckListening;
    });
}

Result runConnect(const Options &options)
{
    QTcpServer peers;
    if (!peers.listen(QHostAddress(kLoopback), 0)) {
        std::fprintf(stderr, "connect: no listening socket\n");
        return {};
    }
    FrmSockbay w(new SocketControl);
    w.TxtRIP->setText(kLoopback);
    w.TxtRPort->setText(QString::number(peers.serverPort()));
    w.show();
    Driver driver(w, options);
    return driver.run([&](int n, QStringList &expected, bool &peerOk) {
        const QByteArray hi = "hi " + QByteArray::number(n);
        const QByteArray yo = "yo " + QByteArray::number(n);
        expected = {QStringLiteral("  连接127.0.0.1:%1……成功").arg(peers.serverPort()),
                    QStringLiteral("  接收文本：  ") + QString::fromLatin1(hi),
                    QStringLiteral("  发送文本：  ") + QString::fromLatin1(yo), QStringLiteral("  挂断连接"), QString()};
        // The address box again each time: nothing may ever dial out.
        w.TxtRIP->setText(kLoopback);
        w.CmdCnn->click(); // returns once connected (or failed)
        if (w.Winsock1->State() != Winsock::sckConnected)
            return false;
        if (!waitFor([&] { return peers.hasPendingConnections(); }))
            return false;
        const std::unique_ptr<QTcpSocket> peer(peers.nextPendingConnection());
        peer->write(hi);
        const QString entry = QStringLiteral("  接收文本：  ") + QString::fromLatin1(hi);
        if (!waitFor([&] { return !w.Receiving && driver.logSince().contains(entry); }))
            return false;
        w.TxtSend->setText(QString::fromLatin1(yo));
        w.CmdSend->click();
        if (!waitFor([&] { return peer->bytesAvailable() >= yo.size(); }))
            return false;
        peerOk = peer->readAll() == yo;
        w.CmdClose->click();
        return waitFor([&] { return peer->state() == QAbstractSocket::UnconnectedState; });
    });
}

int runChild(const Options &options)
{
    // Seconds pass `speed` times faster: the settle, the lamps and the
    // connect limit all shrink alike, as in the tests.
    ScaledClock fast(options.speed);
    Clock::install(&fast);
    setNoticeHook([](const QString &text, const QString &) {
        std::fprintf(stderr, "unexpected notice: %s\n", qPrintable(text));
    });
    const Result r = options.kind == QLatin1String("serial") ? runSerial(options)
        : options.kind == QLatin1String("listen")            ? runListen(options)
                                                             : runConnect(options);
    Clock::install(nullptr);

    const int cycles = options.cycles();
    const int measured = r.cycles - options.warmup;
    const double perCycle = measured > 0 ? 1.0 / measured : 0;
    const int fdGrowth = std::max(r.after.fds, r.settled.fds) - r.warm.fds;
    const qint64 rssGrowth = r.settled.rssKib - r.warm.rssKib;
    const double heapAfterPerCycle = double(r.after.heapBytes - r.warm.heapBytes) * perCycle;
    const double heapPerCycle = double(r.settled.heapBytes - r.warm.heapBytes) * perCycle;
    const bool complete = r.cycles == cycles && !r.stuck && measured > 0;
    const bool logsOk = r.logsOk == cycles;
    const bool flat = fdGrowth == 0 && r.fdPeak == r.warm.fds && rssGrowth <= kRssAllowedKib
        && heapPerCycle <= kHeapAllowedPerCycle;
    const char *verdict = !complete ? "incomplete" : !logsOk ? "LOG-WRONG" : flat ? "flat" : "GROWS";
    std::printf("bench_cycles kind=%s cycles=%d warmup=%d clear_every=%d speed=%g ms_per_cycle=%.1f max_cycle_ms=%.1f "
                "logs_ok=%d/%d fd_before=%d fd_warm=%d fd_after=%d fd_settled=%d fd_peak=%d fd_growth=%d "
                "rss_before_kib=%lld rss_warm_kib=%lld rss_after_kib=%lld rss_settled_kib=%lld rss_growth_kib=%lld "
                "heap_warm_kib=%.1f heap_after_kib=%.1f heap_settled_kib=%.1f heap_after_b_per_cycle=%.1f "
                "heap_growth_b_per_cycle=%.1f verdict=%s\n",
                qPrintable(options.kind), r.cycles, options.warmup, options.clearEvery, options.speed,
                r.cycles > 0 ? r.cycleMsTotal / r.cycles : 0.0, r.cycleMsMax, r.logsOk, cycles, r.before.fds,
                r.warm.fds, r.after.fds, r.settled.fds, r.fdPeak, fdGrowth, qlonglong(r.before.rssKib),
                qlonglong(r.warm.rssKib), qlonglong(r.after.rssKib), qlonglong(r.settled.rssKib), qlonglong(rssGrowth),
                double(r.warm.heapBytes) / 1024, double(r.after.heapBytes) / 1024, double(r.settled.heapBytes) / 1024,
                heapAfterPerCycle, heapPerCycle, verdict);
    std::fflush(stdout);
    return complete && logsOk && flat ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // glibc's per-thread cache keeps freed blocks counted as in use, which
    // blurs the heap figure by tens of KiB; without it the figure is the
    // live blocks. (A GLIBC_TUNABLES of the caller's own is left alone.)
    if (!std::getenv("GLIBC_TUNABLES")) {
        ::setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
        ::execv("/proc/self/exe", argv);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Options options;
    const QStringList args = app.arguments();
    QStringList passOn;
    for (int i = 1; i < args.size(); ++i) {
        const QString &key = args.at(i);
        if (key == QLatin1String("--leak-fd") || key == QLatin1String("--series")) {
            (key == QLatin1String("--series") ? options.series : options.leakFd) = true;
            passOn << key;
            continue;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "%s needs a value\n", qPrintable(key));
            return 2;
        }
        const QString &value = args.at(++i);
        if (key == QLatin1String("--kind")) {
            options.kind = value;
            continue;
        }
        if (key == QLatin1String("--serial"))
            options.serialCycles = value.toInt();
        else if (key == QLatin1String("--listen"))
            options.listenCycles = value.toInt();
        else if (key == QLatin1String("--connect"))
            options.connectCycles = value.toInt();
        else if (key == QLatin1String("--warmup"))
            options.warmup = value.toInt();
        else if (key == QLatin1String("--clear-every"))
            options.clearEvery = value.toInt();
        else if (key == QLatin1String("--speed"))
            options.speed = value.toDouble();
        else if (key == QLatin1String("--leak-bytes"))
            options.leakBytes = value.toLongLong();
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(key));
            return 2;
        }
        passOn << key << value;
    }
    // The warm-up ends at a clear, where it is measured.
    options.clearEvery = std::max(1, options.clearEvery);
    options.warmup = std::max(options.clearEvery,
                              (options.warmup + options.clearEvery - 1) / options.clearEvery * options.clearEvery);
    if (!options.kind.isEmpty()) {
        if (options.kind != QLatin1String("serial") && options.kind != QLatin1String("listen")
            && options.kind != QLatin1String("connect")) {
            std::fprintf(stderr, "unknown kind %s\n", qPrintable(options.kind));
            return 2;
        }
        return runChild(options);
    }

    // The parent: each kind in a fresh process.
    QList<QByteArray> lines;
    int failures = 0;
    for (const char *kind : {"serial", "listen", "connect"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(app.applicationFilePath(), QStringList{QStringLiteral("--kind"), QString::fromLatin1(kind)} + passOn);
        child.waitForFinished(-1);
        QByteArray line = child.readAllStandardOutput().trimmed();
        if (line.isEmpty())
            line = "bench_cycles kind=" + QByteArray(kind) + " verdict=crashed";
        std::printf("%s\n", line.constData());
        std::fflush(stdout);
        lines.append(line);
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            ++failures;
    }

    std::printf("\n%-8s %6s %8s %9s %12s %22s %9s %11s %11s %10s\n", "kind", "cycles", "ms/cycle", "logs ok",
                "fds b/w/a/s", "RSS KiB b/w/s", "RSS grow", "heap B/cyc", "(at end)", "verdict");
    for (const QByteArray &line : std::as_const(lines)) {
        const QHash<QByteArray, QByteArray> f = resultFields(line);
        const QByteArray fds = f.value("fd_before") + '/' + f.value("fd_warm") + '/' + f.value("fd_after") + '/'
            + f.value("fd_settled");
        const QByteArray rss =
            f.value("rss_before_kib") + '/' + f.value("rss_warm_kib") + '/' + f.value("rss_settled_kib");
        std::printf("%-8s %6s %8s %9s %12s %22s %9s %11s %11s %10s\n", f.value("kind").constData(),
                    f.value("cycles").constData(), f.value("ms_per_cycle").constData(), f.value("logs_ok").constData(),
                    fds.constData(), rss.constData(), f.value("rss_growth_kib").constData(),
                    f.value("heap_growth_b_per_cycle").constData(), f.value("heap_after_b_per_cycle").constData(),
                    f.value("verdict").constData());
    }
    std::printf("\nb/w/a/s: before the first cycle, after the warm-up, after the last cycle, after %d s idle.\n"
                "flat: no descriptor more than after the warm-up at the end of any cycle; VmRSS up by at most %lld KiB "
                "and the heap in use by at most %.0f bytes a cycle from the warm-up to the idle end (\"at end\": "
                "the heap right after the last cycle).\n",
                kSettleMs / 1000, qlonglong(kRssAllowedKib), kHeapAllowedPerCycle);
    return failures == 0 ? 0 : 1;
}
