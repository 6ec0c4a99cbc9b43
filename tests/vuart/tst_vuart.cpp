// SPDX-License-Identifier: MIT
// The serial tester's window over the real control, on a virtual UART: the
// modem lines, line errors and handshaking that a bare pseudo-terminal cannot
// show, as the user sees them and as they reach the line.
#include "clock.h"
#include "combobox.h"
#include "form1.h"
#include "lamp.h"
#include "logreader.h"
#include "ptypair.h"
#include "serialcontrol.h"
#include "syserror.h"
#include "virtualuart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>
#include <sys/ioctl.h>

using namespace logreader;

namespace {

// The control polls the lines on a real-time timer and the data comes from
// the kernel's tty: a check that nothing more comes lets four polls pass.
constexpr int kSettledMs = 4 * SerialControl::kLinePollMs;

// The red entries, as redEntries() reads them.
const QString kBreak = kStamp + QStringLiteral("  接收到一个中断信号");
const QString kFrame = kStamp + QStringLiteral("  帧错误");
const QString kOverrun = kStamp + QStringLiteral("  端口超速");
const QString kRxOver = kStamp + QStringLiteral("  接受缓冲区溢出");
const QString kParity = kStamp + QStringLiteral("  奇偶校验");
const QString kRing = kStamp + QStringLiteral("  检测到响铃信号");
const QString kEof = kStamp + QStringLiteral("  收到文件结束符");

constexpr int kNoCounter = -1;

// All byte listings run together, as "  41  FF".
QString receivedListing(Form1 &w)
{
    return entriesAfter(w.TxtMsg, QStringLiteral("  接收数据：")).join(QString());
}

} // namespace

class VuartWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void lampsShowLinesAtOpen_data();
    void lampsShowLinesAtOpen();
    void lampsFollowLineChanges_data();
    void lampsFollowLineChanges();
    void lineEventsLogged_data();
    void lineEventsLogged();
    void endOfFileLoggedWhenEnabled_data();
    void endOfFileLoggedWhenEnabled();
    void outputsHeldAsTheBoxesSay_data();
    void outputsHeldAsTheBoxesSay();
    void handshakingReachesTheLine_data();
    void handshakingReachesTheLine();
    void dataIntactAroundMarks_data();
    void dataIntactAroundMarks();
    void lineKeysReachTheLine();
    void pulseAndBreakLastTheirLength();
    void rtsIsTheDriversUnderHardwareFlow();
    void aRateTheDeviceRefusesFailsTheOpen();
    void endOfFileLineFollowsItsData();

private:
    void open(bool counters);
    Lamp *lampFor(int line) const;

    ScaledClock m_clock{10}; // the one-second settle takes 100 ms
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<Form1> m_window;
    QList<int> m_events; // CommEvent of every OnComm, after the window saw it
};

void VuartWindowTest::initTestCase()
{
    // Without this every test below would run over a bare pty and fail
    // for a reason far from its own.
    QVERIFY2(VirtualUart::inEffect(), "the virtual UART does not stand in front of the C library");
    Clock::install(&m_clock);
}

void VuartWindowTest::cleanupTestCase()
{
    Clock::install(nullptr);
}

void VuartWindowTest::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    m_pty->linkAs(1);
    QVERIFY(VirtualUart::attach(QFile::encodeName(m_pty->devicePath()).constData()));
    m_window = std::make_unique<Form1>(new SerialControl);
    m_events.clear();
    MSComm *control = m_window->MSComm1;
    connect(control, &MSComm::OnComm, this, [this, control] { m_events.append(control->CommEvent()); });
}

void VuartWindowTest::cleanup()
{
    m_window.reset();
    VirtualUart::detach();
    m_pty.reset();
}

// Opens COM1 through the window, with or without the kernel's counters.
void VuartWindowTest::open(bool counters)
{
    VirtualUart::refuseCounters(!counters);
    m_window->CmdOpen->click();
    QVERIFY2(lastLine(m_window->TxtMsg).endsWith(QStringLiteral("成功")), qPrintable(lastLine(m_window->TxtMsg)));
}

// The lamp that shows a modem input.
Lamp *VuartWindowTest::lampFor(int line) const
{
    switch (line) {
    case TIOCM_CTS: return m_window->ShpRTS;
    case TIOCM_DSR: return m_window->ShpDTR;
    case TIOCM_CD: return m_window->ShpCD;
    default: return nullptr;
    }
}

void VuartWindowTest::lampsShowLinesAtOpen_data()
{
    QTest::addColumn<bool>("counters");
    QTest::addColumn<int>("high");
    for (bool counters : {true, false}) {
        const char *path = counters ? "counters" : "levels only";
        QTest::addRow("%s: all low", path) << counters << 0;
        QTest::addRow("%s: CTS", path) << counters << int(TIOCM_CTS);
        QTest::addRow("%s: DSR", path) << counters << int(TIOCM_DSR);
        QTest::addRow("%s: CD", path) << counters << int(TIOCM_CD);
        QTest::addRow("%s: all high", path) << counters << int(TIOCM_CTS | TIOCM_DSR | TIOCM_CD);
    }
}

void VuartWindowTest::lampsShowLinesAtOpen()
{
    QFETCH(bool, counters);
    QFETCH(int, high);
    Form1 &w = *m_window;
    for (int line : {TIOCM_CTS, TIOCM_DSR, TIOCM_CD})
        VirtualUart::setInput(line, high & line);
    open(counters);
    QCOMPARE(w.ShpOpen->BackColor(), kRed);
    for (int line : {TIOCM_CTS, TIOCM_DSR, TIOCM_CD})
        QCOMPARE(lampFor(line)->BackColor(), (high & line) ? kRed : kBlack);

    // Lines that stay as they were give no events.
    QTest::qWait(kSettledMs);
    QCOMPARE(m_events, QList<int>());
    QCOMPARE(redEntries(w.TxtMsg), QStringList());

    // Closing puts them out, whatever the lines.
    w.CmdClose->click();
    for (Lamp *lamp : {w.ShpOpen, w.ShpRTS, w.ShpDTR, w.ShpCD})
        QVERIFY(!lamp->isLit());
}

void VuartWindowTest::lampsFollowLineChanges_data()
{
    QTest::addColumn<bool>("counters");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("code");
    for (bool counters : {true, false}) {
        const char *path = counters ? "counters" : "levels only";
        QTest::addRow("%s: CTS", path) << counters << int(TIOCM_CTS) << int(MSComm::comEvCTS);
        QTest::addRow("%s: DSR", path) << counters << int(TIOCM_DSR) << int(MSComm::comEvDSR);
        QTest::addRow("%s: CD", path) << counters << int(TIOCM_CD) << int(MSComm::comEvCD);
    }
}

void VuartWindowTest::lampsFollowLineChanges()
{
    QFETCH(bool, counters);
    QFETCH(int, line);
    QFETCH(int, code);
    Form1 &w = *m_window;
    open(counters);
    const QString logAtOpen = logText(w.TxtMsg);
    Lamp *lamp = lampFor(line);
    QList<Lamp *> others = {w.ShpRTS, w.ShpDTR, w.ShpCD};
    others.removeOne(lamp);

    VirtualUart::setInput(line, true);
    QTRY_COMPARE_WITH_TIMEOUT(lamp->BackColor(), kRed, 5000);
    for (Lamp *other : others)
        QCOMPARE(other->BackColor(), kBlack);
    VirtualUart::setInput(line, false);
    QTRY_COMPARE_WITH_TIMEOUT(lamp->BackColor(), kBlack, 5000);
    QCOMPARE(m_events.count(code), 2);

    if (counters) {
        // Changes undone between two polls are still seen through the
        // counters, and the lamp shows the level read at the event, not a
        // flip of what it showed.
        VirtualUart::setInput(line, true);
        VirtualUart::setInput(line, false);
        QTRY_COMPARE_WITH_TIMEOUT(m_events.count(code), 3, 5000);
        QCOMPARE(lamp->BackColor(), kBlack);
        VirtualUart::setInput(line, true);
        QTRY_COMPARE_WITH_TIMEOUT(lamp->BackColor(), kRed, 5000);
        VirtualUart::setInput(line, false);
        VirtualUart::setInput(line, true);
        QTRY_COMPARE_WITH_TIMEOUT(m_events.count(code), 5, 5000);
        QCOMPARE(lamp->BackColor(), kRed);
    }
    for (Lamp *other : others)
        QCOMPARE(other->BackColor(), kBlack);
    // Line changes show on the lamps only.
    QCOMPARE(logText(w.TxtMsg), logAtOpen);
}

void VuartWindowTest::lineEventsLogged_data()
{
    QTest::addColumn<bool>("counters");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QByteArray>("farEnd"); // as the line discipline delivers it
    QTest::addColumn<int>("counter");
    QTest::addColumn<bool>("ring");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("received");

    const QByteArray breakMark("ab\377\0\0cd", 7);
    const QByteArray badByte("ab\377\0Xcd", 7);
    // With the counters the kernel tells framing from parity, and sees
    // what leaves no mark in the data.
    QTest::newRow("counters: break") << true << "N" << breakMark << int(VirtualUart::Break) << false << kBreak << "abcd";
    QTest::newRow("counters: framing") << true << "N" << badByte << int(VirtualUart::Frame) << false << kFrame << "ab?cd";
    QTest::newRow("counters: framing under even parity")
        << true << "E" << badByte << int(VirtualUart::Frame) << false << kFrame << "ab?cd";
    QTest::newRow("counters: parity") << true << "E" << badByte << int(VirtualUart::Parity) << false << kParity << "ab?cd";
    QTest::newRow("counters: overrun") << true << "N" << QByteArray("abcd") << int(VirtualUart::Overrun) << false << kOverrun
                                       << "abcd";
    QTest::newRow("counters: buffer overflow")
        << true << "N" << QByteArray("abcd") << int(VirtualUart::BufferOverrun) << false << kRxOver << "abcd";
    QTest::newRow("counters: ring") << true << "N" << QByteArray() << kNoCounter << true << kRing << QString();
    // Without them the marks decide: a bad byte is a parity error when
    // parity is checked, else a framing error.
    QTest::newRow("levels only: break") << false << "N" << breakMark << kNoCounter << false << kBreak << "abcd";
    QTest::newRow("levels only: break under odd parity") << false << "O" << breakMark << kNoCounter << false << kBreak << "abcd";
    QTest::newRow("levels only: framing") << false << "N" << badByte << kNoCounter << false << kFrame << "ab?cd";
    QTest::newRow("levels only: parity") << false << "E" << badByte << kNoCounter << false << kParity << "ab?cd";
    QTest::newRow("levels only: ring") << false << "N" << QByteArray() << kNoCounter << true << kRing << QString();
}

void VuartWindowTest::lineEventsLogged()
{
    QFETCH(bool, counters);
    QFETCH(QString, parity);
    QFETCH(QByteArray, farEnd);
    QFETCH(int, counter);
    QFETCH(bool, ring);
    QFETCH(QString, message);
    QFETCH(QString, received);
    Form1 &w = *m_window;
    chooseItem(w.CmbJY, parity);
    open(counters);

    if (ring) {
        VirtualUart::setInput(TIOCM_RI, true);
        // The counters count a ring too short for any poll to see; the
        // levels need it to last.
        if (!counters)
            QTest::qWait(3 * SerialControl::kLinePollMs);
        VirtualUart::setInput(TIOCM_RI, false);
    }
    if (counter != kNoCounter)
        VirtualUart::count(VirtualUart::Counter(counter));
    if (!farEnd.isEmpty())
        QVERIFY(m_pty->write(farEnd));

    QTRY_COMPARE_WITH_TIMEOUT(redEntries(w.TxtMsg), QStringList{message}, 5000);
    const QStringList data = received.isNull() ? QStringList() : QStringList{received};
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), data, 5000);
    // Reported once: by the counters or by the marks, never both.
    QTest::qWait(kSettledMs);
    QCOMPARE(redEntries(w.TxtMsg), QStringList{message});
    QCOMPARE(receivedTexts(w.TxtMsg), data);
    if (!data.isEmpty())
        QCOMPARE(colourOf(w.TxtMsg, QStringLiteral("  接收文本：  ") + received), kBlack);
    // The ring lamp is not a lamp: the line lamps stay as the lines are.
    QVERIFY(!w.ShpRTS->isLit() && !w.ShpDTR->isLit() && !w.ShpCD->isLit());
}

void VuartWindowTest::endOfFileLoggedWhenEnabled_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::newRow("EOF ticked") << true;
    QTest::newRow("EOF clear") << false;
}

void VuartWindowTest::endOfFileLoggedWhenEnabled()
{
    QFETCH(bool, enabled);
    Form1 &w = *m_window;
    w.ChkEof->setChecked(enabled);
    open(true);
    QVERIFY(m_pty->write("ab\x1a" "cd"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("ab\x1a" "cd")}, 5000);
    QTest::qWait(kSettledMs);
    QCOMPARE(redEntries(w.TxtMsg), enabled ? QStringList{kEof} : QStringList());
}

void VuartWindowTest::outputsHeldAsTheBoxesSay_data()
{
    QTest::addColumn<Qt::CheckState>("dtrBox");
    QTest::addColumn<Qt::CheckState>("rtsBox");
    QTest::addColumn<QString>("handshaking");
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");
    QTest::addColumn<bool>("rtsWritten");

    // The driver raised both lines at open: clear boxes must drop them.
    QTest::newRow("both clear") << Qt::Unchecked << Qt::Unchecked << "None" << false << false << true;
    QTest::newRow("DTR ticked") << Qt::Checked << Qt::Unchecked << "None" << true << false << true;
    QTest::newRow("RTS ticked") << Qt::Unchecked << Qt::Checked << "None" << false << true << true;
    QTest::newRow("both greyed") << Qt::PartiallyChecked << Qt::PartiallyChecked << "None" << true << true << true;
    QTest::newRow("Xon/Xoff, RTS clear") << Qt::Checked << Qt::Unchecked << "Xon/Xoff" << true << false << true;
    // Under RTS/CTS flow control RTS is the driver's to drive.
    QTest::newRow("RTS/CTS, RTS clear") << Qt::Checked << Qt::Unchecked << "RTS/CTS" << true << true << false;
    QTest::newRow("By All, RTS clear") << Qt::Unchecked << Qt::Unchecked << "By All" << false << true << false;
}

void VuartWindowTest::outputsHeldAsTheBoxesSay()
{
    QFETCH(Qt::CheckState, dtrBox);
    QFETCH(Qt::CheckState, rtsBox);
    QFETCH(QString, handshaking);
    QFETCH(bool, dtr);
    QFETCH(bool, rts);
    QFETCH(bool, rtsWritten);
    Form1 &w = *m_window;
    w.ChkDTR->setCheckState(dtrBox);
    w.ChkRTS->setCheckState(rtsBox);
    chooseItem(w.CmbXY, handshaking);
    open(true);
    QCOMPARE(bool(VirtualUart::outputs() & TIOCM_DTR), dtr);
    QCOMPARE(bool(VirtualUart::outputs() & TIOCM_RTS), rts);
    QVERIFY(VirtualUart::outputWrites(TIOCM_DTR) > 0);
    QCOMPARE(VirtualUart::outputWrites(TIOCM_RTS) > 0, rtsWritten);

    // The lamps show the far end's lines, never our own.
    QTest::qWait(kSettledMs);
    QVERIFY(!w.ShpRTS->isLit() && !w.ShpDTR->isLit() && !w.ShpCD->isLit());
    QCOMPARE(bool(VirtualUart::outputs() & TIOCM_RTS), rts);
}

void VuartWindowTest::handshakingReachesTheLine_data()
{
    QTest::addColumn<QString>("handshaking");
    QTest::addColumn<uint>("softwareFlow");
    QTest::addColumn<bool>("hardwareFlow");
    QTest::newRow("None") << "None" << 0u << false;
    QTest::newRow("Xon/Xoff") << "Xon/Xoff" << uint(IXON | IXOFF) << false;
    QTest::newRow("RTS/CTS") << "RTS/CTS" << 0u << true;
    QTest::newRow("By All") << "By All" << uint(IXON | IXOFF) << true;
}

void VuartWindowTest::handshakingReachesTheLine()
{
    QFETCH(QString, handshaking);
    QFETCH(uint, softwareFlow);
    QFETCH(bool, hardwareFlow);
    Form1 &w = *m_window;
    chooseItem(w.CmbJY, QStringLiteral("E"));
    chooseItem(w.CmbSJ, QStringLiteral("7"));
    chooseItem(w.CmbXY, handshaking);
    open(true);
    const VirtualUart::Flags t = VirtualUart::settings();
    QCOMPARE(t.iflag & (IXON | IXOFF), softwareFlow);
    QCOMPARE(bool(t.cflag & CRTSCTS), hardwareFlow);
    // Whatever the flow control, errors stay marked in the data, and the
    // framing is what the window shows.
    QCOMPARE(t.iflag & (INPCK | PARMRK), uint(INPCK | PARMRK));
    QCOMPARE(t.iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP), 0u);
    QCOMPARE(t.cflag & (CSIZE | PARENB | PARODD), uint(CS7 | PARENB));
}

void VuartWindowTest::dataIntactAroundMarks_data()
{
    QTest::addColumn<bool>("counters");
    QTest::newRow("counters") << true;
    QTest::newRow("levels only") << false;
}

void VuartWindowTest::dataIntactAroundMarks()
{
    QFETCH(bool, counters);
    Form1 &w = *m_window;
    w.OptArrv[1]->click();
    open(counters);
    // A data 0xFF, a break and a byte 0x55 received with a framing error,
    // with each mark cut between two reads.
    const QByteArray pieces[] = {QByteArray("\x01\377", 2), QByteArray("\377\x02\377", 3), QByteArray("\0\0\x03\377\0", 5),
                                 QByteArray("\x55\x04\377\377", 4)};
    for (const QByteArray &piece : pieces) {
        QVERIFY(m_pty->write(piece));
        QTest::qWait(20); // long enough for the kernel to hand each piece over on its own
    }
    if (counters) {
        VirtualUart::count(VirtualUart::Break);
        VirtualUart::count(VirtualUart::Frame);
    }
    const QString listing = QStringLiteral("  1  FF  2  3  3F  4  FF");
    QTRY_COMPARE_WITH_TIMEOUT(receivedListing(w), listing, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(redEntries(w.TxtMsg), (QStringList{kBreak, kFrame}), 5000);
    QTest::qWait(kSettledMs);
    QCOMPARE(receivedListing(w), listing);
    QCOMPARE(redEntries(w.TxtMsg), (QStringList{kBreak, kFrame}));
}

QTEST_MAIN(VuartWindowTest)

#include "tst_vuart.moc"

namespace {

// The line events since `from`, as "DTR 1", "RTS 0", "break 1", ...
QStringList lineEventWords(size_t from = 0)
{
    static const char *const words[] = {"DTR 1", "DTR 0", "RTS 1", "RTS 0", "break 1", "break 0", "timed break"};
    const std::vector<VirtualUart::LineEvent> events = VirtualUart::lineEvents();
    QStringList out;
    for (size_t i = from; i < events.size(); ++i)
        out << QString::fromLatin1(words[events[i].what]);
    return out;
}

} // namespace

// The menu's toggles drive the UART's outputs while the port stays open,
// and the far end's lamps are left to the far end.
void VuartWindowTest::lineKeysReachTheLine()
{
    Form1 &w = *m_window;
    open(true);
    const size_t opened = VirtualUart::lineEvents().size();
    QCOMPARE(VirtualUart::outputs(), 0); // both boxes clear
    w.ActDTR->trigger();
    QCOMPARE(VirtualUart::outputs(), TIOCM_DTR);
    w.ActRTS->trigger();
    QCOMPARE(VirtualUart::outputs(), TIOCM_DTR | TIOCM_RTS);
    w.ActDTR->trigger();
    QCOMPARE(VirtualUart::outputs(), TIOCM_RTS);
    QCOMPARE(lineEventWords(opened), (QStringList{"DTR 1", "RTS 1", "DTR 0"}));
    QVERIFY(redEntries(w.TxtMsg).isEmpty());
    QVERIFY(w.MSComm1->PortOpen());

    VirtualUart::setInput(TIOCM_CTS, true);
    QTRY_VERIFY(w.ShpRTS->isLit());
    QVERIFY(!w.ShpDTR->isLit());
}

// A pulse holds DTR low and a break holds the line for their lengths, on
// the device's own time.
void VuartWindowTest::pulseAndBreakLastTheirLength()
{
    Form1 &w = *m_window;
    w.ChkDTR->setChecked(true);
    open(true);
    const size_t opened = VirtualUart::lineEvents().size();
    w.ActPulse->trigger();
    QTRY_COMPARE(lineEventWords(opened), (QStringList{"DTR 0", "DTR 1"}));
    w.ActBreak->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(lineEventWords(opened), (QStringList{"DTR 0", "DTR 1", "break 1", "break 0"}), 5000);
    const std::vector<VirtualUart::LineEvent> events = VirtualUart::lineEvents();
    const long long low = events[opened + 1].atMs - events[opened].atMs;
    const long long held = events[opened + 3].atMs - events[opened + 2].atMs;
    QVERIFY2(low >= 100 && low < 100 + 200, qPrintable(QString::number(low)));
    QVERIFY2(held >= 250 && held < 250 + 200, qPrintable(QString::number(held)));
    QCOMPARE(VirtualUart::outputs() & TIOCM_DTR, TIOCM_DTR);
    QCOMPARE(tail(w.TxtMsg, 2), (QStringList{kStamp + QStringLiteral("  DTR 脉冲：低电平 100 毫秒，然后高电平"),
                                             kStamp + QStringLiteral("  发送中断信号：250 毫秒")}));
}

// Under RTS/CTS handshaking the driver owns RTS: a toggle is refused in
// red, and the line is not touched.
void VuartWindowTest::rtsIsTheDriversUnderHardwareFlow()
{
    Form1 &w = *m_window;
    chooseItem(w.CmbXY, QStringLiteral("RTS/CTS"));
    open(true);
    const size_t opened = VirtualUart::lineEvents().size();
    w.ActRTS->trigger();
    QCOMPARE(lineEventWords(opened), QStringList());
    QCOMPARE(redEntries(w.TxtMsg),
             QStringList{kStamp + QStringLiteral("  RTS 置为高电平失败：") + m_pty->devicePath()
                         + QStringLiteral(": RTS: the driver drives RTS under RTS/CTS handshaking")});
    QVERIFY(!w.ChkRTS->isChecked());
    QVERIFY(w.MSComm1->PortOpen());
}

// A rate past what the device runs fails the open on its own line, with
// the system's reason, and leaves the window closed.
void VuartWindowTest::aRateTheDeviceRefusesFailsTheOpen()
{
    Form1 &w = *m_window;
    VirtualUart::refuseSpeedsAbove(200000);
    w.useSpeed(250000);
    w.CmdOpen->click();
    const QString line = lastLine(w.TxtMsg);
    QCOMPARE(shapeLine(line), kStamp + QStringLiteral(" 打开端口：COM1……") + m_pty->devicePath()
                                  + QStringLiteral(": 250000 bit/s: ") + systemError(EINVAL));
    QCOMPARE(colourOf(w.TxtMsg, m_pty->devicePath() + QStringLiteral(": "), kLast), kRed);
    QVERIFY(!w.MSComm1->PortOpen());
    QVERIFY(w.CmdOpen->isEnabled());
    // A rate it runs opens.
    w.useSpeed(115200);
    open(true);
}

// The end-of-file line stands after the data that held the character.
void VuartWindowTest::endOfFileLineFollowsItsData()
{
    Form1 &w = *m_window;
    w.ChkEof->setChecked(true);
    open(true);
    QVERIFY(m_pty->write("boot done\x1a"));
    QTRY_VERIFY_WITH_TIMEOUT(!redEntries(w.TxtMsg).isEmpty(), 5000);
    QTRY_VERIFY(!w.Receiving);
    QTest::qWait(kSettledMs);
    QCOMPARE(tail(w.TxtMsg, 2), (QStringList{kStamp + QStringLiteral("  接收文本：  boot done\x1a"), kEof}));
}
