// SPDX-License-Identifier: MIT
// A TCP stream into the network tester's window, beside a plain QTcpSocket
// reading the same stream. Each measurement runs in a child process of its
// own so that its peak memory is its own; the parent prints the table.
//
// A sender thread writes as fast as the reader lets it. The reader is either
// the window (listening through its own buttons, logging text or bytes) or a
// plain socket that only checksums. Measured: wall time, peak resident memory
// (VmHWM) and its growth against the log's own text (UTF-16, as the document
// holds it), and how late a 50 ms timer on the reader's thread fires.

#include "frmsockbay.h"
#include "logpane.h"
#include "ports.h"
#include "resultline.h"
#include "socketcontrol.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {

const QString kTextHeader = QStringLiteral("  接收文本：  ");
const QString kBytesHeader = QStringLiteral("  接收数据：");
// How long the reader keeps running after the last byte reached it.
constexpr int kAfterMs = 1500;

struct Options
{
    QString mode;           // child: plain-text, window-text, plain-bytes, window-bytes
    qint64 textBytes = 100LL << 20;
    qint64 byteBytes = 100LL << 20;
    qint64 bufferBytes = SocketControl::kReadBufferBytes;
};

// The stream: in text mode lines of 100 characters (a line number, letters,
// LF), in byte mode every byte value in a long cycle.
class Stream
{
public:
    Stream(bool text, qint64 size) : m_text(text), m_size(size) {}

    qint64 size() const { return m_size; }

    QByteArray chunk(qint64 offset, qint64 length) const
    {
        QByteArray out(length, Qt::Uninitialized);
        for (qint64 i = 0; i < length; ++i)
            out[i] = at(offset + i);
        return out;
    }

    char at(qint64 i) const
    {
        if (!m_text)
            return char((i * 7 + i / 251) & 0xFF);
        const qint64 line = i / 100;
        const int column = int(i % 100);
        if (column == 99)
            return '\n';
        if (column < 10) {
            qint64 n = line;
            for (int k = 9; k > column; --k)
                n /= 10;
            return char('0' + n % 10);
        }
        return char('a' + (line + column) % 26);
    }

private:
    bool m_text;
    qint64 m_size;
};

// FNV-1a over the stream's bytes.
class Checksum
{
public:
    void add(char c) { m_hash = (m_hash ^ quint8(c)) * 1099511628211ULL; ++m_count; }
    void add(const QByteArray &bytes)
    {
        for (char c : bytes)
            add(c);
    }
    quint64 hash() const { return m_hash; }
    qint64 count() const { return m_count; }

private:
    quint64 m_hash = 1469598103934665603ULL;
    qint64 m_count = 0;
};

// Lateness of a 50 ms timer on the reader's thread.
class LatencyProbe : public QObject
{
public:
    LatencyProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(50);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 late = m_clock.restart() - 50;
            m_maxLate = std::max(m_maxLate, late);
        });
    }
    void start()
    {
        m_clock.start();
        m_timer.start();
    }
    qint64 maxLate() const { return m_maxLate; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_maxLate = 0;
};

// Writes the stream to 127.0.0.1:port from its own thread, then holds the
// connection open until released, so that the reader's last collection is
// not cut short by the close.
class Sender
{
public:
    Sender(const Stream &stream, quint16 port) : m_stream(stream), m_port(port) {}
    ~Sender()
    {
        release();
        if (m_thread.joinable())
            m_thread.join();
    }

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void release() { m_released = true; }
    bool failed() const { return m_failed; }

private:
    void run()
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (!socket.waitForConnected(30000)) {
            m_failed = true;
            return;
        }
        const qint64 chunkSize = 256 * 1024;
        for (qint64 offset = 0; offset < m_stream.size(); offset += chunkSize) {
            socket.write(m_stream.chunk(offset, std::min(chunkSize, m_stream.size() - offset)));
            while (socket.bytesToWrite() > 2 * chunkSize) {
                if (!socket.waitForBytesWritten(60000)) {
                    m_failed = true;
                    return;
                }
            }
        }
        while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(60000)) {
        }
        while (!m_released)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        socket.disconnectFromHost();
    }

    const Stream &m_stream;
    quint16 m_port;
    std::thread m_thread;
    std::atomic<bool> m_released{false};
    std::atomic<bool> m_failed{false};
};

struct Result
{
    double seconds = 0;
    qint64 received = 0;
    bool intact = false;
    qint64 logChars = 0;
    int entries = 0;
    qint64 maxLateMs = 0;
    qint64 baselineKib = 0;
    qint64 hwmKib = 0;
};

// The plain reader: a QTcpServer and the socket it accepts, reading
// everything on each readyRead and keeping only a checksum.
Result runPlain(const Stream &stream, const Options &options)
{
    Result result;
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    Checksum expected, got;
    for (qint64 i = 0; i < stream.size(); ++i)
        expected.add(stream.at(i));
    result.baselineKib = procStatusKib("VmRSS:");

    QTcpSocket *reader = nullptr;
    LatencyProbe probe;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&server, &QTcpServer::newConnection, &loop, [&] {
        reader = server.nextPendingConnection();
        reader->setReadBufferSize(options.bufferBytes);
        QObject::connect(reader, &QTcpSocket::readyRead, &loop, [&] {
            const QByteArray bytes = reader->readAll();
            got.add(bytes);
            ++result.entries;
            if (got.count() >= stream.size() && result.seconds == 0) {
                result.seconds = clock.elapsed() / 1000.0;
                QTimer::singleShot(kAfterMs, &loop, &QEventLoop::quit);
            }
        });
    });
    Sender sender(stream, server.serverPort());
    clock.start();
    probe.start();
    sender.start();
    loop.exec();
    result.maxLateMs = probe.maxLate();
    result.received = got.count();
    result.intact = !sender.failed() && got.count() == stream.size() && got.hash() == expected.hash();
    sender.release();
    result.hwmKib = procStatusKib("VmHWM:");
    return result;
}

// The window: listening through its own controls, receive option set to the
// stream's kind. Progress is counted from what reaches the log; the final
// check reads the whole log back.
Result runWindow(const Stream &stream, bool text, const Options &options)
{
    Result result;
    Checksum expected;
    for (qint64 i = 0; i < stream.size(); ++i)
        expected.add(stream.at(i));

    auto *control = new SocketControl;
    control->setReadBufferLimit(options.bufferBytes);
    FrmSockbay window(control);
    window.show();
    window.OptArrv[text ? 0 : 1]->setChecked(true);
    const quint16 port = freePort();
    window.TxtLPort->setText(QString::number(port));
    window.CmdLstn_Click();
    if (control->State() != Winsock::sckListening) {
        std::fprintf(stderr, "listen failed: %s\n", qPrintable(window.TxtMsg->logText()));
        return result;
    }
    QCoreApplication::processEvents();
    result.baselineKib = procStatusKib("VmRSS:");

    // Count what each log write adds after a receive header, read from the
    // store in bounded pieces so that counting costs no copy of an entry.
    LogPane *log = window.TxtMsg;
    qint64 logged = 0;
    bool afterHeader = false;
    bool done = false;
    QElapsedTimer clock;
    QEventLoop loop;
    const QString header = text ? kTextHeader : kBytesHeader;
    QObject::connect(log, &LogPane::appended, &loop, [&](qint64 from, qint64 to) {
        if (afterHeader) {
            afterHeader = false;
            if (text) {
                logged += to - from; // the stream is ASCII
            } else {
                qint64 spaces = 0;
                log->store().writeUtf8(from, to, [&](const char *bytes, qint64 n) {
                    spaces += std::count(bytes, bytes + n, ' ');
                });
                logged += spaces / 2;
            }
        } else if (to - from >= header.size() && log->textBetween(to - header.size(), to) == header) {
            afterHeader = true;
            ++result.entries;
        }
        if (logged >= stream.size() && !done) {
            done = true;
            result.seconds = clock.elapsed() / 1000.0;
            // Keep the window running a little: the view lays out and paints
            // what was logged, and that counts for memory and lateness too.
            QTimer::singleShot(kAfterMs, &loop, &QEventLoop::quit);
        }
    });

    LatencyProbe probe;
    Sender sender(stream, port);
    clock.start();
    probe.start();
    sender.start();
    loop.exec();
    result.maxLateMs = probe.maxLate();
    result.hwmKib = procStatusKib("VmHWM:");

    // Read the whole log back: every byte of the stream exactly once, in
    // order, between the receive headers.
    const QString all = window.TxtMsg->logText();
    result.logChars = all.size();
    Checksum got;
    qsizetype at = all.indexOf(header);
    while (at >= 0) {
        const qsizetype begin = at + header.size();
        const qsizetype next = all.indexOf(header, begin);
        // The entry ends where the next entry's line (its time stamp) begins.
        const qsizetype end = next < 0 ? all.size() : all.lastIndexOf(QLatin1Char('\n'), next);
        const QStringView data = QStringView(all).mid(begin, end - begin);
        if (text) {
            for (QChar c : data)
                got.add(char(c.unicode()));
        } else {
            for (const QStringView token : data.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                got.add(char(token.toUInt(nullptr, 16)));
        }
        at = next;
    }
    result.received = got.count();
    result.intact = !sender.failed() && got.count() == stream.size() && got.hash() == expected.hash();
    sender.release();
    return result;
}

int runChild(const Options &options)
{
    const bool text = options.mode.endsWith(QLatin1String("text"));
    const Stream stream(text, text ? options.textBytes : options.byteBytes);
    const Result r = options.mode.startsWith(QLatin1String("plain")) ? runPlain(stream, options)
                                                                     : runWindow(stream, text, options);
    const double mib = double(stream.size()) / (1 << 20);
    const double growthMib = double(r.hwmKib - r.baselineKib) / 1024;
    const double logMib = double(r.logChars) * 2 / (1 << 20);
    std::printf("bench_socket mode=%s buffer_kib=%lld stream_mib=%.0f seconds=%.2f mib_per_s=%.2f intact=%d "
                "entries=%d max_late_ms=%lld hwm_mib=%.1f growth_mib=%.1f log_utf16_mib=%.1f growth_per_log=%.2f\n",
                qPrintable(options.mode), options.bufferBytes / 1024, mib, r.seconds, mib / r.seconds,
                int(r.intact), r.entries, r.maxLateMs, double(r.hwmKib) / 1024, growthMib, logMib,
                logMib > 0 ? growthMib / logMib : 0.0);
    std::fflush(stdout);
    return r.intact ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Options options;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString &key = args.at(i);
        const QString &value = args.at(i + 1);
        if (key == QLatin1String("--mode"))
            options.mode = value;
        else if (key == QLatin1String("--text-mib"))
            options.textBytes = value.toLongLong() << 20;
        else if (key == QLatin1String("--bytes-mib"))
            options.byteBytes = value.toLongLong() << 20;
        else if (key == QLatin1String("--buffer-kib"))
            options.bufferBytes = value.toLongLong() << 10;
    }
    if (!options.mode.isEmpty())
        return runChild(options);

    // The parent: each measurement in a fresh process, side by side.
    const QStringList modes = {QStringLiteral("plain-text"), QStringLiteral("window-text"),
                               QStringLiteral("plain-bytes"), QStringLiteral("window-bytes")};
    QList<QByteArray> lines;
    int failures = 0;
    for (const QString &mode : modes) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(app.applicationFilePath(),
                    {QStringLiteral("--mode"), mode, QStringLiteral("--text-mib"),
                     QString::number(options.textBytes >> 20), QStringLiteral("--bytes-mib"),
                     QString::number(options.byteBytes >> 20), QStringLiteral("--buffer-kib"),
                     QString::number(options.bufferBytes >> 10)});
        child.waitForFinished(-1);
        const QByteArray line = child.readAllStandardOutput().trimmed();
        std::printf("%s\n", line.constData());
        std::fflush(stdout);
        lines.append(line);
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            ++failures;
    }

    std::printf("\n%-13s %8s %9s %7s %8s %9s %10s %8s\n", "mode", "seconds", "MiB/s", "intact", "late_ms",
                "hwm_MiB", "growth/log", "entries");
    for (const QByteArray &line : std::as_const(lines)) {
        const QHash<QByteArray, QByteArray> f = resultFields(line);
        std::printf("%-13s %8s %9s %7s %8s %9s %10s %8s\n", f.value("mode").constData(),
                    f.value("seconds").constData(), f.value("mib_per_s").constData(), f.value("intact").constData(),
                    f.value("max_late_ms").constData(), f.value("hwm_mib").constData(),
                    f.value("growth_per_log").constData(), f.value("entries").constData());
    }
    return failures == 0 ? 0 : 1;
}
