// SPDX-License-Identifier: MIT
// The serial tester's window over the real control and a pseudo-terminal.
#include "clock.h"
#include "combobox.h"
#include "form1.h"
#include "framing.h"
#include "quicksends.h"
#include "sendfile.h"
#include "lamp.h"
#include "logpane.h"
#include "logreader.h"
#include "savedialog.h"
#include "messagebox.h"
#include "payload.h"
#include "portwatch.h"
#include "ptypair.h"
#include "sendboxmenu.h"
#include "serialcontrol.h"
#include "serialline.h"
#include "linedialogs.h"
#include "timestamp.h"

#include <QCheckBox>
#include <QFile>
#include <QTemporaryDir>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace logreader;

class SerialWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void opensWithChosenSettings();
    void refusedOpensAreLogged();
    void hexBytesReachTheOtherEnd();
    void textEndsAsTheBoxAndTheMenuSay_data();
    void textEndsAsTheBoxAndTheMenuSay();
    void arrivalLoggedAsText();
    void aFileReachesTheFarEndWhole();
    void aQuickSendKeyCarriesItsChecksum();
    void framesBySilenceAsTheFarEndWroteThem();
    void arrivalLoggedAsBytes();
    void streamLoggedOnceInSeveralEntries();
    void otherEndClosingLeavesWindowUsable();
    void textCutAcrossReads();
    void modeSwitchAfterCut();
    void endDuringSettleLogsDataFirst_data();
    void endDuringSettleLogsDataFirst();
    void closeLogsWhatTheSystemStillHolds_data();
    void closeLogsWhatTheSystemStillHolds();
    void captureIsWhatTheWireCarried();
    void sendsTheLineNeverCarriedAreToldOf();
    void otherSpeedsAreSetExactly_data();
    void otherSpeedsAreSetExactly();
    void aPseudoTerminalRefusesTheLineKeys();
    void backAfterAnUnplug();
    void aCloseOrUntickingEndsTheWait();

private:
    void open();

    ScaledClock m_clock{10}; // the one-second settle takes 100 ms
    QStringList m_notices;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<Form1> m_window;
};

void SerialWindowTest::initTestCase()
{
    Clock::install(&m_clock);
    setNoticeHook([this](const QString &text, const QString &) { m_notices.append(text); });
}

void SerialWindowTest::cleanupTestCase()
{
    setNoticeHook(nullptr);
    Clock::install(nullptr);
}

void SerialWindowTest::init()
{
    m_notices.clear();
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    m_pty->linkAs(1);
    m_window = std::make_unique<Form1>(new SerialControl);
}

void SerialWindowTest::cleanup()
{
    m_window.reset();
    m_pty.reset();
}

void SerialWindowTest::sendsTheLineNeverCarriedAreToldOf()
{
    // The far end takes nothing. The sends fill what the line can hold,
    // then the output buffer, which then refuses more in red; the close
    // drops the rest and says how much. What the far end finds after it and
    // what the close dropped add up to every send that was logged.
    Form1 &w = *m_window;
    open();
    const QByteArray payload(512, 'x');
    w.TxtSend->setText(QString::fromLatin1(payload));
    const QString refusal = QStringLiteral("the output buffer is full");
    for (int i = 0; i < 300 && !logText(w.TxtMsg).contains(refusal); ++i) {
        w.CmdSend->click();
        QCoreApplication::processEvents(); // the control hands the line what it takes
    }
    const QString sentLog = logText(w.TxtMsg);
    QVERIFY(sentLog.contains(refusal));
    QCOMPARE(colourOf(w.TxtMsg, refusal, kLast), kRed);
    const qint64 sent = sentLog.count(QStringLiteral("  发送文本：  ")) * payload.size();
    QVERIFY(sent >= SerialControl::kOutBufferSize);

    w.CmdClose->click();
    const QStringList lines = shapedLines(w.TxtMsg);
    const QRegularExpression dropped(QStringLiteral("^T  有(\\d+)个字节未能送出，已丢弃$"));
    const QRegularExpressionMatch match = dropped.match(lines.at(lines.size() - 3));
    QVERIFY2(match.hasMatch(), qPrintable(lines.join(u'\n').right(300)));
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("T 关闭端口"));
    QCOMPARE(colourOf(w.TxtMsg, QStringLiteral("个字节未能送出，已丢弃"), kLast), kRed);
    const QByteArray arrived = m_pty->read(sent, 1000);
    QCOMPARE(arrived, QByteArray(arrived.size(), 'x'));
    QCOMPARE(arrived.size() + match.captured(1).toLongLong(), sent);
}

void SerialWindowTest::open()
{
    m_window->CmdOpen->click();
    QVERIFY2(lastLine(m_window->TxtMsg).endsWith(QStringLiteral("成功")), qPrintable(lastLine(m_window->TxtMsg)));
}

void SerialWindowTest::opensWithChosenSettings()
{
    Form1 &w = *m_window;
    chooseItem(w.CmbSpeed, QStringLiteral("256000"));
    chooseItem(w.CmbJY, QStringLiteral("E"));
    chooseItem(w.CmbSJ, QStringLiteral("7"));
    chooseItem(w.CmbTZ, QStringLiteral("2"));
    open();
    QVERIFY(lastLine(w.TxtMsg).contains(QStringLiteral(" 打开端口：COM1……成功")));
    QVERIFY(w.MSComm1->PortOpen());
    QCOMPARE(w.MSComm1->Settings(), QStringLiteral("256000,E,7,2"));
    QVERIFY(w.CmdClose->isEnabled());
    QVERIFY(!w.CmdOpen->isEnabled());

    w.CmdClose->click();
    QVERIFY(!w.MSComm1->PortOpen());
    QVERIFY(w.CmdOpen->isEnabled());
}

void SerialWindowTest::refusedOpensAreLogged()
{
    Form1 &w = *m_window;
    // A device that is not there: its name and the system's reason.
    const QString missing = m_pty->configHome() + QStringLiteral("/ttyACM3");
    m_pty->linkTo(2, missing);
    w.CmbPort->setCurrentIndex(1);
    w.CmdOpen->click();
    QVERIFY2(lastLine(w.TxtMsg).endsWith(QStringLiteral(" 打开端口：COM2……") + missing + QStringLiteral(": No such file or directory")),
             qPrintable(lastLine(w.TxtMsg)));
    QVERIFY(w.CmdOpen->isEnabled());
    QVERIFY(!w.CmdClose->isEnabled());

    // Settings this system cannot do: a plain reason, the port stays shut.
    w.CmbPort->setCurrentIndex(0);
    chooseItem(w.CmbSJ, QStringLiteral("4"));
    w.CmdOpen->click();
    QVERIFY2(lastLine(w.TxtMsg).contains(QStringLiteral("……") + m_pty->devicePath() + QStringLiteral(": 4 data bits are not supported")),
             qPrintable(lastLine(w.TxtMsg)));
    QVERIFY(!w.MSComm1->PortOpen());
    chooseItem(w.CmbSJ, QStringLiteral("8"));
    chooseItem(w.CmbTZ, QStringLiteral("1.5"));
    w.CmdOpen->click();
    QVERIFY2(lastLine(w.TxtMsg).contains(QStringLiteral("1.5 stop bits are not supported")), qPrintable(lastLine(w.TxtMsg)));
    QVERIFY(!w.MSComm1->PortOpen());
    QVERIFY(w.CmdOpen->isEnabled());
}

void SerialWindowTest::hexBytesReachTheOtherEnd()
{
    Form1 &w = *m_window;
    open();
    w.OptSend[1]->setChecked(true);
    w.TxtSend->setText(QStringLiteral("41 42 FF 00"));
    w.CmdSend->click();
    QCOMPARE(m_pty->read(4), QByteArray("\x41\x42\xff\x00", 4));
    QVERIFY(lastLine(w.TxtMsg).endsWith(QStringLiteral("  发送数据：  41  42  FF  0")));
    QVERIFY(m_notices.isEmpty());
}

void SerialWindowTest::textEndsAsTheBoxAndTheMenuSay_data()
{
    // The box appends a CR; the menu's ending follows it, the CR never
    // doubled. With the menu at none, the box means what it always did.
    QTest::addColumn<bool>("box");
    QTest::addColumn<int>("ending");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("box, none") << true << int(LineEnding::None) << QByteArray("AT+GMR\r");
    QTest::newRow("no box, none") << false << int(LineEnding::None) << QByteArray("AT+GMR");
    QTest::newRow("box, LF") << true << int(LineEnding::Lf) << QByteArray("AT+GMR\r\n");
    QTest::newRow("no box, LF") << false << int(LineEnding::Lf) << QByteArray("AT+GMR\n");
    QTest::newRow("box, CR") << true << int(LineEnding::Cr) << QByteArray("AT+GMR\r");
    QTest::newRow("box, CR LF") << true << int(LineEnding::CrLf) << QByteArray("AT+GMR\r\n");
    QTest::newRow("no box, CR LF") << false << int(LineEnding::CrLf) << QByteArray("AT+GMR\r\n");
}

void SerialWindowTest::textEndsAsTheBoxAndTheMenuSay()
{
    QFETCH(bool, box);
    QFETCH(int, ending);
    QFETCH(QByteArray, sent);
    Form1 &w = *m_window;
    open();
    w.OptSend[0]->click();
    w.ChkSend->setChecked(box);
    w.sendBoxMenu()->setLineEnding(LineEnding(ending));
    w.TxtSend->setText(QStringLiteral("  AT+GMR  "));
    w.CmdSend->click();
    // One byte more than was sent would show as the read's surplus.
    QCOMPARE(m_pty->read(int(sent.size()) + 1, 300), sent);
    QVERIFY(lastLine(w.TxtMsg).endsWith(QStringLiteral("  发送文本：  AT+GMR")));
}

void SerialWindowTest::framesBySilenceAsTheFarEndWroteThem()
{
    // On the wall clock: the far end writes three frames 50 and 300 ms
    // apart; with a 20 ms gap each is an entry of its own, stamped within a
    // few milliseconds of its writing, run after run. With the gap off, the
    // one-second collection takes all three as one entry, as always.
    Clock::install(nullptr);
    struct Restore
    {
        Clock *clock;
        ~Restore()
        {
            Clock::install(clock);
            setStampsCarryMilliseconds(false);
        }
    } restore{&m_clock};
    Form1 &w = *m_window;
    open();
    w.OptArrv[1]->click();
    w.setFraming(20, true);
    const QList<QByteArray> frames{QByteArray::fromHex("01030000000AC5CD"), QByteArray::fromHex("0103"),
                                   QByteArray::fromHex("14000300")};
    QList<qint64> errors;
    for (int run = 0; run < 20; ++run) {
        const QString problem = framesRun(w.TxtMsg, m_pty->master(), frames, {0, 50, 300}, &errors);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("run %1: ").arg(run) + problem));
    }
    const QString said = spread(errors);
    qInfo("%s", qPrintable(said));
    QVERIFY2(errors.first() >= -1 && errors[errors.size() / 2] <= 5, qPrintable(said));

    const QString header = QStringLiteral("  接收数据：");
    w.setFraming(0, false);
    const qsizetype before = entriesAfter(w.TxtMsg, header).size();
    FrameWriter writer(m_pty->master(), frames, {0, 50, 300});
    QVERIFY(runUntil([&] { return entriesAfter(w.TxtMsg, header).size() >= before + 1 && !w.Receiving; }, 5000));
    writer.join();
    QCOMPARE(entriesAfter(w.TxtMsg, header).mid(before), QStringList{FormatHexBytes(frames[0] + frames[1] + frames[2])});
}

void SerialWindowTest::aFileReachesTheFarEndWhole()
{
    // Through the menu's 发送文件…, as fast as the line takes it: the far
    // end gets every byte in order, and nothing more; the log says it was
    // done.
    Form1 &w = *m_window;
    open();
    QTemporaryDir dir;
    QByteArray content;
    for (int i = 0; content.size() < 256 * 1024; ++i)
        content += QByteArray::number(i).rightJustified(63, '0') + (i % 3 ? "\n" : "\r\n");
    const QString path = dir.filePath(QStringLiteral("lines.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    QVERIFY(sendFileThroughTheMenu(w, path));
    QVERIFY(m_pty->read(content.size(), 20000) == content);
    QCOMPARE(m_pty->read(1, 200), QByteArray());
    QTRY_VERIFY(lastLine(w.TxtMsg).contains(QStringLiteral("  发送文件完成：%1个字节，CRC-32 ").arg(content.size())));
}

void SerialWindowTest::aQuickSendKeyCarriesItsChecksum()
{
    // A Modbus request on F1, with its CRC: the far end gets the frame, the
    // log lists every byte of it.
    Form1 &w = *m_window;
    open();
    QuickSendSet set;
    set.keys[0] = QuickSend{QStringLiteral("读寄存器"), QStringLiteral("01 03 00 00 00 0A"), true, LineEnding::None,
                            Checksum::Crc16Modbus, 0, 0};
    w.useQuickSends(set);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(m_pty->read(8, 5000).toHex(' '), QByteArray("01 03 00 00 00 0a c5 cd"));
    QVERIFY(lastLine(w.TxtMsg).endsWith(QStringLiteral("  发送数据：  1  3  0  0  0  A  C5  CD")));
}

void SerialWindowTest::arrivalLoggedAsText()
{
    Form1 &w = *m_window;
    open();
    QVERIFY(m_pty->write(QStringLiteral("温度 21.5 <b>").toUtf8()));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("温度 21.5 <b>")}, 10000);
    QTest::qWait(300); // a second entry would come from the kernel's tty: real time only
    QCOMPARE(receivedTexts(w.TxtMsg).size(), 1);
}

void SerialWindowTest::arrivalLoggedAsBytes()
{
    Form1 &w = *m_window;
    open();
    // Switched while open: the next arrival is listed as bytes.
    w.OptArrv[1]->click();
    QVERIFY(m_pty->write("AB"));
    QTRY_VERIFY_WITH_TIMEOUT(logText(w.TxtMsg).contains(QStringLiteral("  接收数据：  41  42")), 10000);
    QVERIFY(lastLine(w.TxtMsg).endsWith(QStringLiteral("  接收数据：  41  42")));
}

void SerialWindowTest::streamLoggedOnceInSeveralEntries()
{
    Form1 &w = *m_window;
    open();
    // Numbered records for over a second of real time: a dozen settles.
    QByteArray sent;
    for (int i = 0; i < 500; ++i)
        sent.append(QStringLiteral("<%1>").arg(i, 4, 10, QLatin1Char('0')).toUtf8());
    m_pty->startWriter(sent, 25, 10);

    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg).join(QString()).size(), sent.size(), 30000);
    QTest::qWait(300); // stray bytes would come from the kernel's tty: real time only
    const QStringList entries = receivedTexts(w.TxtMsg);
    QCOMPARE(entries.join(QString()).toUtf8(), sent);
    QVERIFY2(entries.size() >= 3, qPrintable(QString::number(entries.size())));
}

void SerialWindowTest::otherEndClosingLeavesWindowUsable()
{
    Form1 &w = *m_window;
    auto *control = static_cast<SerialControl *>(w.MSComm1);
    QSignalSpy failed(control, &MSComm::linkFailed);
    open();
    m_pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);

    // Sending finds the port gone: one red entry says why, and nothing is
    // logged as sent; closing works as ever.
    const QString gone = redEntries(w.TxtMsg).last().mid(kStamp.size());
    QVERIFY2(gone.contains(QStringLiteral("the device hung up")), qPrintable(gone));
    w.TxtSend->setText(QStringLiteral("after the end"));
    w.CmdSend->click();
    QCOMPARE(tail(w.TxtMsg, 1), QStringList{kStamp + QStringLiteral("  未发送：") + gone.mid(2)});
    QCOMPARE(colourOf(w.TxtMsg, QStringLiteral("  未发送："), kLast), kRed);
    QVERIFY(!logText(w.TxtMsg).contains(QStringLiteral("发送文本")));
    w.CmdClose->click();
    QVERIFY(lastLine(w.TxtMsg).isEmpty()); // the close entry ends its line
    QVERIFY(logText(w.TxtMsg).endsWith(QStringLiteral(" 关闭端口\n")));
    QVERIFY(w.CmdOpen->isEnabled());

    // And a new device opens in the same window.
    PtyPair next;
    next.linkAs(1);
    open();
    QVERIFY(next.write("hi"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("hi")}, 10000);
}

void SerialWindowTest::textCutAcrossReads()
{
    Form1 &w = *m_window;
    open();
    const QString r(QChar(0xFFFD));
    // A lead byte on its own, then a read that does not continue it; then
    // one cut inside a character that the next read starts afresh.
    QVERIFY(m_pty->write("\xC3"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{""}, 10000);
    QTRY_VERIFY(!w.Receiving);
    QVERIFY(m_pty->write("hello"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg).size(), 2, 10000);
    QTRY_VERIFY(!w.Receiving);
    QVERIFY(m_pty->write("\xE3"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg).size(), 3, 10000);
    QTRY_VERIFY(!w.Receiving);
    QVERIFY(m_pty->write("\xE3\x81\x82"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg).size(), 4, 10000);
    QCOMPARE(receivedTexts(w.TxtMsg), (QStringList{"", r + "hello", "", r + QStringLiteral("あ")}));
}

void SerialWindowTest::modeSwitchAfterCut()
{
    Form1 &w = *m_window;
    open();
    auto settled = [&](int entries) {
        QTRY_COMPARE_WITH_TIMEOUT(int(logText(w.TxtMsg).count(QStringLiteral("  接收"))), entries, 10000);
        QTRY_VERIFY(!w.Receiving);
    };
    // Text, cut; bytes: the held bytes lead the listing.
    QVERIFY(m_pty->write("ok\xE6\x95"));
    settled(1);
    w.OptArrv[1]->click();
    QVERIFY(m_pty->write("\xB0\x41"));
    settled(2);
    QVERIFY2(lastLine(w.TxtMsg).endsWith(QStringLiteral("  接收数据：  E6  95  B0  41")), qPrintable(lastLine(w.TxtMsg)));
    // Bytes, cut; text: nothing was held, the rest is invalid on its own.
    QVERIFY(m_pty->write("\xE6"));
    settled(3);
    w.OptArrv[0]->click();
    QVERIFY(m_pty->write("\x95\xB0!"));
    settled(4);
    QCOMPARE(receivedTexts(w.TxtMsg), (QStringList{"ok", QStringLiteral("\uFFFD\uFFFD!")}));
}

void SerialWindowTest::endDuringSettleLogsDataFirst_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::newRow("the user closes") << true;
    QTest::newRow("the device vanishes") << false;
}

void SerialWindowTest::endDuringSettleLogsDataFirst()
{
    QFETCH(bool, byUser);
    Form1 &w = *m_window;
    open();
    // End the port while the collection of this arrival settles.
    QTimer ender;
    ender.setInterval(2);
    connect(&ender, &QTimer::timeout, &ender, [&] {
        if (!w.Receiving)
            return;
        ender.stop();
        if (byUser)
            w.CmdClose->click();
        else
            m_pty->closeMaster();
    });
    ender.start();
    QVERIFY(m_pty->write("last words \xE6\x95\xB0"));
    QTRY_VERIFY_WITH_TIMEOUT(!ender.isActive(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Receiving && !w.MSComm1->PortOpen(), 10000);
    QTest::qWait(300); // a late entry would follow the kernel's hang-up: real time only

    const QStringList lines = logLines(w.TxtMsg);
    const qsizetype data = lines.indexOf(QRegularExpression(QStringLiteral(".*  接收文本：  last words 数$")));
    QVERIFY2(data >= 0, qPrintable(logText(w.TxtMsg)));
    QCOMPARE(receivedTexts(w.TxtMsg).size(), 1);
    if (byUser) {
        QVERIFY(lines.at(data + 1).endsWith(QStringLiteral(" 关闭端口")));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(logText(w.TxtMsg).contains(QStringLiteral("hung up")), 10000);
        QVERIFY2(logLines(w.TxtMsg).at(data + 1).contains(QStringLiteral("hung up")), qPrintable(logText(w.TxtMsg)));
    }
}

void SerialWindowTest::closeLogsWhatTheSystemStillHolds_data()
{
    QTest::addColumn<bool>("bytes");
    QTest::newRow("text") << false;
    QTest::newRow("bytes") << true;
}

void SerialWindowTest::closeLogsWhatTheSystemStillHolds()
{
    // Bytes that reached the port before the close, but that no event has
    // brought in yet (they wait in the kernel), are logged before its line.
    QFETCH(bool, bytes);
    Form1 &w = *m_window;
    w.OptArrv[bytes ? 1 : 0]->click();
    open();
    // Within what a pseudo-terminal holds for a reader that reads nothing.
    QByteArray burst;
    for (int i = 0; i < 800; ++i)
        burst += QByteArray::number(i) + ' ';
    QVERIFY(m_pty->write(burst));
    w.CmdClose_Click(); // at once: no event runs between the write and the close

    const QStringList lines = logLines(w.TxtMsg);
    const QString header = bytes ? QStringLiteral("  接收数据：") : QStringLiteral("  接收文本：  ");
    const QStringList entries = entriesAfter(w.TxtMsg, header);
    QCOMPARE(entries.size(), 1);
    QString expected = QString::fromLatin1(burst);
    if (bytes)
        expected = FormatHexBytes(burst);
    QCOMPARE(entries.first().size(), expected.size());
    QCOMPARE(entries.first(), expected);
    QVERIFY(lines.last().isEmpty() && lines.at(lines.size() - 2).endsWith(QStringLiteral(" 关闭端口")));
}

void SerialWindowTest::captureIsWhatTheWireCarried()
{
    // Every byte value, twice, in text mode (not all of it is UTF-8, and
    // 0xFF is doubled by the kernel's marking on the way in).
    Form1 &w = *m_window;
    open();
    QByteArray sent;
    for (int round = 0; round < 2; ++round)
        for (int b = 0; b < 256; ++b)
            sent.append(char(b));
    QVERIFY(m_pty->write(sent));
    QTRY_VERIFY_WITH_TIMEOUT(receivedTexts(w.TxtMsg).size() >= 1 && !w.Receiving, 10000);
    w.CmdClose_Click();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("capture.bin"));
    setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return path; });
    w.saveReceived();
    setSavePathHook(nullptr);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().toHex(), sent.toHex());
    QVERIFY(m_notices.isEmpty());
}

QTEST_MAIN(SerialWindowTest)
#include "tst_serialwindow.moc"

void SerialWindowTest::otherSpeedsAreSetExactly_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("921600") << 921600;
    QTest::newRow("250000") << 250000;
    QTest::newRow("74880") << 74880;
}

// A rate typed in "其他速率…" is the rate the device is set to, read back
// from the kernel, and what the tooltip shows.
void SerialWindowTest::otherSpeedsAreSetExactly()
{
    QFETCH(int, rate);
    Form1 &w = *m_window;
    w.CmbSpeed->actions().first()->trigger();
    auto *dialog = w.findChild<SpeedDialog *>();
    QVERIFY(dialog);
    dialog->RateBox->setEditText(QString::number(rate));
    dialog->accept();
    open();
    QCOMPARE(SerialLine::lineSpeed(m_pty->master()), rate);
    QCOMPARE(w.CmbSpeed->toolTip(), QStringLiteral("实际速率：%1 bit/s").arg(rate));
    QVERIFY(m_pty->write("at speed"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("at speed")}, 10000);
}

// A pseudo-terminal has no modem lines: each key is one red entry with the
// reason, and the port stays open and carries data.
void SerialWindowTest::aPseudoTerminalRefusesTheLineKeys()
{
    Form1 &w = *m_window;
    open();
    w.ActDTR->trigger();
    w.ActBreak->trigger();
    const QStringList red = redEntries(w.TxtMsg);
    QCOMPARE(red.size(), 2);
    const QString device = m_pty->devicePath();
    QVERIFY2(red[0].startsWith(kStamp + QStringLiteral("  DTR 置为高电平失败：") + device
                               + QStringLiteral(": DTR: the device has no modem control lines (")),
             qPrintable(red[0]));
    QVERIFY2(red[1].startsWith(kStamp + QStringLiteral("  发送中断信号失败：") + device
                               + QStringLiteral(": break: the device has no modem control lines (")),
             qPrintable(red[1]));
    QVERIFY(!w.ChkDTR->isChecked());
    QVERIFY(w.MSComm1->PortOpen() && w.CmdClose->isEnabled());
    QVERIFY(m_pty->write("still here"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("still here")}, 10000);
}

namespace {

// Numbered messages, as a board prints them while it boots (on one line,
// so that each entry of the log reads as one line).
QByteArray bootBanner(int messages)
{
    QByteArray out;
    for (int i = 0; i < messages; ++i)
        out += "boot step " + QByteArray::number(i) + ": all systems go; ";
    return out;
}

} // namespace

// With 拔出后自动重连 ticked, a device that goes away is waited for under
// the same name; when it is back the port opens again with the ordinary
// line, and what the device prints from then on is logged whole.
void SerialWindowTest::backAfterAnUnplug()
{
    Form1 &w = *m_window;
    QTemporaryDir dev;
    const QString board = dev.filePath(QStringLiteral("ttyBOARD"));
    QVERIFY(QFile::link(m_pty->devicePath(), board));
    m_pty->linkTo(1, board);
    w.ActReconnect->trigger();
    QVERIFY(w.reconnects());
    open();
    QVERIFY(m_pty->write("before"));
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg), QStringList{QStringLiteral("before")}, 10000);

    // Unplugged: the end is logged as ever, then the wait.
    m_pty->closeMaster();
    QVERIFY(QFile::remove(board));
    QTRY_VERIFY_WITH_TIMEOUT(w.portWatch()->watching(), 10000);
    QVERIFY(w.portWatch()->folders().contains(dev.path()));
    const QStringList ended = tail(w.TxtMsg, 2);
    QVERIFY2(ended[0].contains(QStringLiteral("the device hung up")), qPrintable(ended[0]));
    QCOMPARE(ended[1], kStamp + QStringLiteral("  等待设备重新接入：") + board);
    QVERIFY(w.CmdClose->isEnabled()); // the window keeps its open-port form

    // Plugged in again under the same name.
    PtyPair again;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_pty->configHome()));
    QVERIFY(QFile::link(again.devicePath(), board));
    QTRY_COMPARE_WITH_TIMEOUT(logText(w.TxtMsg).count(QStringLiteral(" 打开端口：COM1……成功")), 2, 10000);
    QVERIFY(!w.portWatch()->watching());
    QCOMPARE(tail(w.TxtMsg, 1), QStringList{kStamp + QStringLiteral(" 打开端口：COM1……成功")});
    QCOMPARE(colourOf(w.TxtMsg, QStringLiteral("成功"), kLast), kBlue);
    QVERIFY(w.ShpOpen->isLit() && w.ActBreak->isEnabled());

    const QByteArray banner = bootBanner(2000);
    again.startWriter(banner, 4096);
    QTRY_COMPARE_WITH_TIMEOUT(receivedTexts(w.TxtMsg).mid(1).join(QString()).size(), banner.size(), 20000);
    again.joinWriter();
    QCOMPARE(receivedTexts(w.TxtMsg).mid(1).join(QString()).toUtf8(), banner);
    // And it sends again.
    w.TxtSend->setText(QStringLiteral("ping"));
    w.CmdSend->click();
    QCOMPARE(again.read(4), QByteArray("ping"));
}

// A close while waiting, or unticking the item, ends the wait: the device
// coming back then opens nothing.
void SerialWindowTest::aCloseOrUntickingEndsTheWait()
{
    Form1 &w = *m_window;
    QTemporaryDir dev;
    const QString board = dev.filePath(QStringLiteral("ttyBOARD"));
    for (const bool byClose : {true, false}) {
        PtyPair first;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_pty->configHome()));
        QFile::remove(board);
        QVERIFY(QFile::link(first.devicePath(), board));
        m_pty->linkTo(1, board);
        w.setReconnect(true);
        open();
        first.closeMaster();
        QVERIFY(QFile::remove(board));
        QTRY_VERIFY_WITH_TIMEOUT(w.portWatch()->watching(), 10000);
        if (byClose) {
            w.CmdClose->click();
        } else {
            w.ActReconnect->trigger();
            QCOMPARE(tail(w.TxtMsg, 1), QStringList{kStamp + QStringLiteral("  停止等待设备重新接入")});
        }
        QVERIFY(!w.portWatch()->watching());
        PtyPair back;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_pty->configHome()));
        QVERIFY(QFile::link(back.devicePath(), board));
        QTest::qWait(3 * PortWatch::kLongestRetryMs);
        QCOMPARE(logText(w.TxtMsg).count(QStringLiteral("成功")), byClose ? 1 : 2);
        QVERIFY(!w.MSComm1->PortOpen());
        if (!byClose)
            w.CmdClose->click();
    }
}
