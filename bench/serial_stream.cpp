// SPDX-License-Identifier: MIT
// Measures the serial tester over a pseudo-terminal pair. Each measurement
// runs in a child process of its own, so its peak memory is its own; the
// parent prints one result line per measurement as a table.
//
//   bench_serial            all measurements
//   bench_serial <name>     one of: raw, raw-marked, bytes, text, idle, idle-poll
#include "form1.h"
#include "logpane.h"
#include "serialcontrol.h"
#include "serialline.h"
#include "resultline.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qsizetype kStreamSize = 10 * 1024 * 1024;
constexpr int kIdleSeconds = 5;

// Runs the event loop for `ms`, sleeping while nothing happens.
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 peakKiB()
{
    return procStatusKib("VmHWM:");
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One pseudo-terminal pair, the device end linked as COM1.
struct Pair
{
    int master = -1, slave = -1;
    QString device;
    QTemporaryDir config;

    Pair()
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        device = QString::fromLocal8Bit(name);
        QDir(config.path()).mkpath(QStringLiteral("comm"));
        QFile::link(device, config.path() + QStringLiteral("/comm/com1"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    }
    ~Pair()
    {
        ::close(master);
        ::close(slave);
    }
};

// Writes everything to `fd` from a thread of its own, as fast as it goes.
std::thread writer(int fd, const QByteArray &data, std::atomic<bool> &done)
{
    return std::thread([fd, &data, &done] {
        for (qsizetype at = 0; at < data.size();) {
            const ssize_t n = ::write(fd, data.constData() + at, size_t(std::min<qsizetype>(65536, data.size() - at)));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            at += n;
        }
        done = true;
    });
}

QByteArray randomBytes()
{
    QByteArray data(kStreamSize, Qt::Uninitialized);
    std::mt19937 random(1234);
    for (char &c : data)
        c = char(random());
    return data;
}

QByteArray numberedText()
{
    QByteArray data;
    data.reserve(kStreamSize + 16);
    for (int i = 0; data.size() < kStreamSize; ++i)
        data.append(QByteArray::number(i).rightJustified(8, '0')).append(';');
    data.truncate(kStreamSize);
    return data;
}

// `peak` is the high-water mark to show, by default the one now.
void report(const char *name, qsizetype bytes, qint64 ms, bool exact, const QString &note = QString(),
            qint64 peak = -1)
{
    if (peak < 0)
        peak = peakKiB();
    std::printf("%-11s %10lld %9lld %10.1f %10lld   %-5s %s\n", name, qlonglong(bytes), qlonglong(ms),
                ms > 0 ? double(bytes) / 1048576.0 / (double(ms) / 1000.0) : 0.0, qlonglong(peak),
                exact ? "yes" : "NO", qPrintable(note));
    std::fflush(stdout);
}

// A plain read() loop on the device end; `marked` puts the same input
// marking on it that the control uses.
int runRaw(bool marked)
{
    Pair pair;
    termios t{};
    ::tcgetattr(pair.slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(pair.slave, TCSANOW, &t);
    if (marked) {
        if (const Problem problem = SerialLine::applyInputFlags(pair.slave, false)) {
            std::fprintf(stderr, "input marking: %s\n", qPrintable(problem.description()));
            return -1;
        }
    }
    const QByteArray data = randomBytes();
    QByteArray got;
    got.reserve(data.size() * 2);
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread w = writer(pair.master, data, done);
    char buf[65536];
    const qsizetype expected = marked ? data.size() + data.count('\377') : data.size();
    while (got.size() < expected) {
        const ssize_t n = ::read(pair.slave, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, n);
    }
    const qint64 ms = clock.elapsed();
    w.join();
    bool exact = got.size() == expected;
    if (marked) {
        got.replace(QByteArray("\377\377"), QByteArray("\377"));
        exact = got == data;
    } else {
        exact = exact && got == data;
    }
    report(marked ? "raw-marked" : "raw", data.size(), ms, exact, QStringLiteral("plain read() of the pair"));
    return 0;
}

// The bytes of all "received data" listings in the log, in order.
QByteArray loggedBytes(const QString &log)
{
    static const QString header = QStringLiteral("  接收数据：");
    QByteArray bytes;
    for (const QString &line : log.split(u'\n')) {
        const qsizetype at = line.indexOf(header);
        if (at < 0)
            continue;
        for (const QString &token : QStringView(line).mid(at + header.size()).toString().split(u' ', Qt::SkipEmptyParts))
            bytes.append(char(token.toUInt(nullptr, 16)));
    }
    return bytes;
}

QByteArray loggedText(const QString &log, int *entries)
{
    static const QString header = QStringLiteral("  接收文本：  ");
    QString text;
    *entries = 0;
    for (const QString &line : log.split(u'\n')) {
        const qsizetype at = line.indexOf(header);
        if (at < 0)
            continue;
        ++*entries;
        text += QStringView(line).mid(at + header.size());
    }
    return text.toUtf8();
}

// The stream through the window over the control, with the real clock and
// its one-second settle.
int runWindow(bool bytes)
{
    Pair pair;
    ::close(pair.slave); // the control opens its own
    pair.slave = ::open("/dev/null", O_RDONLY);
    Form1 w(new SerialControl);
    if (bytes)
        w.OptArrv[1]->click();
    w.CmdOpen->click();
    if (!w.MSComm1->PortOpen()) {
        std::printf("%s: the port did not open\n", bytes ? "bytes" : "text");
        return 1;
    }
    const QByteArray data = bytes ? randomBytes() : numberedText();
    QElapsedTimer clock;
    qint64 lastChange = 0;
    QObject::connect(w.TxtMsg, &LogPane::appended, [&] { lastChange = clock.elapsed(); });
    std::atomic<bool> done{false};
    clock.start();
    std::thread t = writer(pair.master, data, done);
    // Done when everything is written, nothing waits and no collection has
    // run for longer than a settle.
    while (!(done && !w.Receiving && w.MSComm1->InBufferCount() == 0 && clock.elapsed() - lastChange > 2500))
        runEvents(50);
    t.join();
    // The peak of the stream itself, before the check below copies the log.
    const qint64 peak = peakKiB();
    const QString log = w.TxtMsg->logText();
    int entries = 0;
    bool exact;
    if (bytes) {
        exact = loggedBytes(log) == data;
        entries = int(log.count(QStringLiteral("  接收数据：")));
    } else {
        exact = loggedText(log, &entries) == data;
    }
    report(bytes ? "bytes" : "text", data.size(), lastChange, exact,
           QStringLiteral("Form1, %1 entries, %2 log chars").arg(entries).arg(log.size()), peak);
    return 0;
}

// An open port with nothing arriving.
int runIdle(bool pollLines)
{
    Pair pair;
    Form1 w(new SerialControl);
    w.CmdOpen->click();
    // A pseudo-terminal has no lines, so the control polls nothing on it;
    // `pollLines` adds a timer doing what the line poll does on a real port
    // (two ioctls every 50 ms) to show what that costs.
    QTimer poll;
    const int fd = ::open(qPrintable(pair.device), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QObject::connect(&poll, &QTimer::timeout, [fd] {
        SerialLine::Counters c;
        SerialLine::Levels l;
        SerialLine::readCounters(fd, &c);
        SerialLine::readLevels(fd, &l);
    });
    if (pollLines)
        poll.start(SerialControl::kLinePollMs);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kIdleSeconds * 1000)
        runEvents(100);
    const double cpu = cpuSeconds() - cpuBefore;
    const double share = 100.0 * cpu / (double(clock.elapsed()) / 1000.0);
    std::printf("%-11s %9.3f%% of a core over %lld ms (goal < 1%%)%s\n", pollLines ? "idle-poll" : "idle", share,
                qlonglong(clock.elapsed()), pollLines ? ", with a 50 ms line poll" : ", port open on a pty");
    ::close(fd);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        QApplication app(argc, argv);
        const QByteArray mode = argv[1];
        if (mode == "raw")
            return runRaw(false);
        if (mode == "raw-marked")
            return runRaw(true);
        if (mode == "bytes")
            return runWindow(true);
        if (mode == "text")
            return runWindow(false);
        if (mode == "idle")
            return runIdle(false);
        if (mode == "idle-poll")
            return runIdle(true);
        std::fprintf(stderr, "unknown measurement %s\n", argv[1]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::printf("%-11s %10s %9s %10s %10s   %-5s %s\n", "measure", "bytes", "ms", "MiB/s", "VmHWM KiB", "exact", "what");
    std::fflush(stdout);
    int failures = 0;
    for (const char *mode : {"raw", "raw-marked", "bytes", "text", "idle", "idle-poll"}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(mode)});
        child.waitForFinished(-1);
        failures += child.exitCode() != 0;
    }
    return failures;
}
