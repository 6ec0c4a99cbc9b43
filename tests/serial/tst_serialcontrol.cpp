// SPDX-License-Identifier: MIT
// The real serial control over pseudo-terminal pairs.
#include "eventqueue.h"
#include "linkerror.h"
#include "ptypair.h"
#include "serialcontrol.h"
#include "serialline.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/ioctl.h>
#include <termios.h>

// The kernel's view of a tty with its real speed (termios2), declared here
// as the kernel has it: its own header clashes with the C library's.
struct KernelTermios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

namespace {

constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

// Records the codes of every OnComm, read while the event is delivered.
struct EventLog
{
    explicit EventLog(MSComm *control)
    {
        QObject::connect(control, &MSComm::OnComm, control, [this, control] { codes.append(control->CommEvent()); });
    }
    QList<int> codes;
};

QString descriptionOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const LinkError &e) {
        return e.description();
    }
    return QString();
}

} // namespace

class SerialControlTest : public QObject
{
    Q_OBJECT
private slots:
    void openAppliesSettings_data();
    void openAppliesSettings();
    void handshakingReachesTheTty();
    void missingDeviceIsNamed();
    void unsupportedSettingsRefused_data();
    void unsupportedSettingsRefused();
    void closedPortIsQuiet();
    void writtenBytesArriveExactly();
    void receivedBytesTakenOnce();
    void eofCharacterReported();
    void eventsDroppedAfterClose();
    void pseudoTerminalHasNoLines();
    void fullBufferHoldsBackTheSender();
    void otherEndClosing();
};

void SerialControlTest::openAppliesSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");
    QTest::addColumn<uint>("cflagSet");
    QTest::addColumn<uint>("cflagClear");

    // Every speed of the window's list, non-standard ones included.
    const int speeds[] = {300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int speed : speeds)
        QTest::addRow("%d,N,8,1", speed) << QStringLiteral("%1,N,8,1").arg(speed) << speed << 0u
                                        << uint(PARODD | CMSPAR | CSTOPB);
    // A pseudo-terminal forces 8 bits without parity; what it keeps is the
    // parity's kind and the stop bits.
    QTest::newRow("even 7 2") << "9600,E,7,2" << 9600 << uint(CSTOPB) << uint(PARODD | CMSPAR);
    QTest::newRow("odd 6") << "9600,O,6,1" << 9600 << uint(PARODD) << uint(CMSPAR | CSTOPB);
    QTest::newRow("mark 5") << "9600,M,5,1" << 9600 << uint(CMSPAR | PARODD) << uint(CSTOPB);
    QTest::newRow("space 8") << "19200,S,8,1" << 19200 << uint(CMSPAR) << uint(PARODD | CSTOPB);
}

void SerialControlTest::openAppliesSettings()
{
    QFETCH(QString, settings);
    QFETCH(int, speed);
    QFETCH(uint, cflagSet);
    QFETCH(uint, cflagClear);

    PtyPair pty;
    QVERIFY(pty.isValid());
    pty.linkAs(1);
    SerialControl control;
    control.setCommPort(1);
    control.setSettings(settings);
    control.setPortOpen(true);
    QVERIFY(control.PortOpen());
    QCOMPARE(control.openDevice(), pty.devicePath());

    KernelTermios2 t{};
    QCOMPARE(::ioctl(pty.master(), kGetTermios2, &t), 0); // both ends share the settings
    QCOMPARE(int(t.c_ospeed), speed);
    QCOMPARE(int(t.c_ispeed), speed);
    QCOMPARE(t.c_cflag & cflagSet, cflagSet);
    QCOMPARE(t.c_cflag & cflagClear, 0u);
    // The marking of line errors survives all of Qt's own setting calls.
    QVERIFY(SerialLine::inputMarked(pty.master()));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), 0u);

    control.setPortOpen(false);
    QVERIFY(!control.PortOpen());
}

void SerialControlTest::handshakingReachesTheTty()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    struct
    {
        int handshaking;
        tcflag_t iflags;
        bool rtscts;
    } const cases[] = {{0, 0, false}, {1, IXON | IXOFF, false}, {2, 0, true}, {3, IXON | IXOFF, true}};
    for (const auto &c : cases) {
        control.setHandshaking(c.handshaking);
        control.setPortOpen(true);
        termios t{};
        QCOMPARE(::tcgetattr(pty.master(), &t), 0);
        QCOMPARE(t.c_iflag & (IXON | IXOFF), c.iflags);
        QCOMPARE(bool(t.c_cflag & CRTSCTS), c.rtscts);
        QVERIFY(SerialLine::inputMarked(pty.master()));
        control.setPortOpen(false);
    }
    QVERIFY_THROWS_EXCEPTION(LinkError, control.setHandshaking(4));
}

void SerialControlTest::missingDeviceIsNamed()
{
    PtyPair pty;
    const QString missing = pty.configHome() + QStringLiteral("/ttyUSB7");
    pty.linkTo(2, missing);
    SerialControl control;
    control.setCommPort(2);
    QCOMPARE(control.portDevice(2), missing);
    QCOMPARE(descriptionOf([&] { control.setPortOpen(true); }), missing + QStringLiteral(": No such file or directory"));
    QVERIFY(!control.PortOpen());
}

void SerialControlTest::unsupportedSettingsRefused_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("says");
    QTest::newRow("4 data bits") << "9600,N,4,1" << "4 data bits are not supported";
    QTest::newRow("1.5 stop bits") << "9600,N,8,1.5" << "1.5 stop bits are not supported";
    QTest::newRow("malformed") << "9600;N;8;1" << "not of the form";
}

void SerialControlTest::unsupportedSettingsRefused()
{
    QFETCH(QString, settings);
    QFETCH(QString, says);
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    control.setCommPort(1);
    control.setSettings(QStringLiteral("19200,E,7,1"));
    const QString description = descriptionOf([&] { control.setSettings(settings); });
    QVERIFY2(description.startsWith(pty.devicePath() + QStringLiteral(": ")), qPrintable(description));
    QVERIFY2(description.contains(says), qPrintable(description));
    QVERIFY(!control.PortOpen());
    QCOMPARE(control.Settings(), QStringLiteral("19200,E,7,1"));

    // Refused on an open port too, which stays open with what it had.
    control.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(LinkError, control.setSettings(settings));
    QVERIFY(control.PortOpen());
    KernelTermios2 t{};
    QCOMPARE(::ioctl(pty.master(), kGetTermios2, &t), 0);
    QCOMPARE(int(t.c_ospeed), 19200);
}

void SerialControlTest::closedPortIsQuiet()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    // Closing a closed port and asking what waits never fail.
    control.setPortOpen(false);
    QCOMPARE(control.InBufferCount(), 0);
    QVERIFY(control.InputBytes().isEmpty());
    QVERIFY_THROWS_EXCEPTION(LinkError, control.OutputBytes("x"));

    control.setPortOpen(true);
    QVERIFY_THROWS_EXCEPTION(LinkError, control.setPortOpen(true));
    QVERIFY_THROWS_EXCEPTION(LinkError, control.setCommPort(2));
    QVERIFY(pty.write("pending"));
    QTRY_COMPARE_WITH_TIMEOUT(control.InBufferCount(), 7, 10000);
    control.setPortOpen(false);
    QCOMPARE(control.InBufferCount(), 0);
    // What waited at the close is gone when the port opens again.
    control.setPortOpen(true);
    QTest::qWait(50); // what the tty still held would come from the kernel: real time only
    QCOMPARE(control.InBufferCount(), 0);
}

void SerialControlTest::writtenBytesArriveExactly()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    control.setPortOpen(true);

    const QByteArray bytes = allByteValues();
    control.OutputBytes(bytes);
    QCOMPARE(pty.read(bytes.size()), bytes);
    QTRY_VERIFY_WITH_TIMEOUT(events.codes.contains(MSComm::comEvSend), 10000);

    events.codes.clear();
    control.OutputText(QStringLiteral("héllo\r"));
    QCOMPARE(pty.read(7), QByteArray("h\xc3\xa9llo\r"));
    QTRY_COMPARE_WITH_TIMEOUT(events.codes, QList<int>{MSComm::comEvSend}, 10000);
}

void SerialControlTest::receivedBytesTakenOnce()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    control.setInputMode(MSComm::comInputModeBinary);
    control.setPortOpen(true);

    // 0xFF comes doubled from the kernel and must be read once.
    const QByteArray bytes = allByteValues() + allByteValues();
    QVERIFY(pty.write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(control.InBufferCount(), bytes.size(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(events.codes.contains(MSComm::comEvReceive), 10000);
    QCOMPARE(control.InputBytes(), bytes);
    QCOMPARE(control.InBufferCount(), 0);
    QTest::qWait(50); // a second copy would come from the kernel: real time only
    QVERIFY(control.InputBytes().isEmpty());

    // Each later arrival is announced again.
    events.codes.clear();
    QVERIFY(pty.write("more"));
    QTRY_VERIFY_WITH_TIMEOUT(events.codes.contains(MSComm::comEvReceive), 10000);
    QCOMPARE(control.InputBytes(), QByteArray("more"));
}

void SerialControlTest::eofCharacterReported()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    control.setPortOpen(true);
    QVERIFY(pty.write("ab\x1a"));
    QTRY_COMPARE_WITH_TIMEOUT(events.codes, QList<int>{MSComm::comEvReceive}, 10000);
    QCOMPARE(control.InputBytes(), QByteArray("ab\x1a"));
    control.setPortOpen(false);

    control.setEOFEnable(true);
    control.setPortOpen(true);
    events.codes.clear();
    QVERIFY(pty.write("cd\x1a"));
    QTRY_COMPARE_WITH_TIMEOUT(events.codes, (QList<int>{MSComm::comEvReceive, MSComm::comEvEOF}), 10000);
    // The end-of-file character stays in the data.
    QCOMPARE(control.InputBytes(), QByteArray("cd\x1a"));
}

void SerialControlTest::eventsDroppedAfterClose()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    control.setEOFEnable(true);
    // The end-of-file event is queued right behind the data event; closing
    // in the data event's handler must drop it.
    QObject::connect(&control, &MSComm::OnComm, &control, [&control] {
        if (control.CommEvent() == MSComm::comEvReceive)
            control.setPortOpen(false);
    });
    control.setPortOpen(true);
    QVERIFY(pty.write("x\x1a"));
    QTRY_COMPARE_WITH_TIMEOUT(events.codes, QList<int>{MSComm::comEvReceive}, 10000);
    deliverQueuedEvents();
    QCOMPARE(events.codes, QList<int>{MSComm::comEvReceive});
    QVERIFY(!control.PortOpen());
}

void SerialControlTest::pseudoTerminalHasNoLines()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    QSignalSpy failed(&control, &MSComm::linkFailed);
    control.setDTREnable(true);
    control.setRTSEnable(true);
    control.setPortOpen(true);
    QVERIFY(control.PortOpen());
    QVERIFY(!control.CTSHolding());
    QVERIFY(!control.DSRHolding());
    QVERIFY(!control.CDHolding());
    control.setDTREnable(false);
    QTest::qWait(200); // the lines are polled on a real-time timer: a few polls must pass
    QVERIFY(events.codes.isEmpty());
    QVERIFY(failed.isEmpty());
    QVERIFY(control.PortOpen());
}

void SerialControlTest::fullBufferHoldsBackTheSender()
{
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    control.setPortOpen(true);

    // Three times the buffer, in a pattern where a lost or doubled piece
    // shows.
    QByteArray sent;
    for (int i = 0; sent.size() < 3 * SerialControl::kInBufferSize; ++i)
        sent.append(QByteArray::number(i)).append(',');
    pty.startWriter(sent, 4096);

    // Nobody reads: the buffer fills to its bound, no further, and the
    // sender is held back instead of data being thrown away.
    QTRY_COMPARE_WITH_TIMEOUT(control.InBufferCount(), SerialControl::kInBufferSize, 30000);
    QTest::qWait(200); // more would come from the kernel's tty: real time only
    QCOMPARE(control.InBufferCount(), SerialControl::kInBufferSize);
    QVERIFY(pty.writtenSoFar() < sent.size());

    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < sent.size() && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        got += control.InputBytes();
    }
    QCOMPARE(got.size(), sent.size());
    QVERIFY(got == sent);
    QVERIFY(!events.codes.contains(MSComm::comEventRxOver));
}

void SerialControlTest::otherEndClosing()
{
    // The far end hanging up ends the port as an unplugged adapter does:
    // closed, reported once, and quiet from then on.
    PtyPair pty;
    pty.linkAs(1);
    SerialControl control;
    EventLog events(&control);
    QSignalSpy failed(&control, &MSComm::linkFailed);
    control.setPortOpen(true);
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    QVERIFY(!control.PortOpen());
    const QString description = failed.first().first().toString();
    QVERIFY2(description.startsWith(pty.devicePath() + QStringLiteral(": ")), qPrintable(description));
    QVERIFY2(description.contains(QStringLiteral("hung up")), qPrintable(description));
    QTest::qWait(200); // a second report would follow the kernel's hang-up: real time only
    QCOMPARE(failed.size(), 1);
    QVERIFY(events.codes.isEmpty());
    QCOMPARE(control.InBufferCount(), 0);
    control.setPortOpen(false);

    // The control can open another device afterwards.
    PtyPair next;
    next.linkAs(1);
    control.setPortOpen(true);
    QVERIFY(control.PortOpen());
    control.OutputBytes("ok");
    QCOMPARE(next.read(2), QByteArray("ok"));
}

QTEST_MAIN(SerialControlTest)
#include "tst_serialcontrol.moc"
