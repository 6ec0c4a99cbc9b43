// SPDX-License-Identifier: MIT
#include "commcommandline.h"
#include "fakemscomm.h"
#include "form1.h"
#include "guard.h"
#include "logcommands.h"
#include "logpane.h"
#include "logreader.h"
#include "messagebox.h"
#include "ptypair.h"
#include "serialcontrol.h"
#include "serialline.h"
#include "toolprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace logreader;

// comm started with arguments: each sets the window as the same clicks
// would, a bad command line ends before any window with one line naming
// what is wrong.
class TstCommCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        setQuitHook([] {});
        setNoticeHook([](const QString &, const QString &) {});
    }

    void withoutArgumentsAsBefore()
    {
        CommCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("comm")}), -1);
        auto *fake = new FakeMSComm;
        Form1 w(fake);
        QCOMPARE(line.applyTo(w), -1);
        QCOMPARE(w.CmbPort->currentText(), QStringLiteral("COM1"));
        QCOMPARE(w.CmbSpeed->currentText(), QStringLiteral("9600"));
        QVERIFY(!w.reconnects());
        QVERIFY(w.OptSend[0]->isChecked() && w.OptArrv[0]->isChecked());
        QVERIFY(!w.logCommands()->recorder()->recording());
        QCoreApplication::processEvents();
        QCOMPARE(fake->openCalls, 0);
        QCOMPARE(shape(w.TxtMsg), QStringLiteral("T  启动程序"));
    }

    void optionsSetTheWindow()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("log.txt"));
        CommCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("comm"), QStringLiteral("--port"), QStringLiteral("com3"),
                             QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--parity"),
                             QStringLiteral("e"), QStringLiteral("--data"), QStringLiteral("7"), QStringLiteral("--stop"),
                             QStringLiteral("2"), QStringLiteral("--handshake"), QStringLiteral("rtscts"),
                             QStringLiteral("--dtr"), QStringLiteral("--rts"), QStringLiteral("--eof"),
                             QStringLiteral("--cr"), QStringLiteral("--send-mode"), QStringLiteral("bytes"),
                             QStringLiteral("--receive-mode"), QStringLiteral("bytes"), QStringLiteral("--record"),
                             record, QStringLiteral("--open"), QStringLiteral("--reconnect")}),
                 -1);
        auto *fake = new FakeMSComm;
        Form1 w(fake);
        QCOMPARE(line.applyTo(w), -1);
        QCOMPARE(w.CmbPort->currentText(), QStringLiteral("COM3"));
        QCOMPARE(w.CmbSpeed->currentText(), QStringLiteral("115200"));
        QCOMPARE(w.CmbJY->currentText(), QStringLiteral("E"));
        QCOMPARE(w.CmbSJ->currentText(), QStringLiteral("7"));
        QCOMPARE(w.CmbTZ->currentText(), QStringLiteral("2"));
        QCOMPARE(w.CmbXY->currentText(), QStringLiteral("RTS/CTS"));
        for (QCheckBox *box : {w.ChkDTR, w.ChkRTS, w.ChkEof, w.ChkSend})
            QCOMPARE(box->checkState(), Qt::Checked);
        QVERIFY(w.OptSend[1]->isChecked() && w.OptArrv[1]->isChecked());
        QVERIFY(w.reconnects() && w.ActReconnect->isChecked());
        QCOMPARE(fake->inputMode, int(MSComm::comInputModeBinary)); // as the click on 接收字节 does
        // The port opens once the program runs, as a click on 打开端口.
        QCOMPARE(fake->openCalls, 0);
        QTRY_VERIFY(fake->open);
        QCOMPARE(fake->commPort, 3);
        QCOMPARE(fake->settings, QStringLiteral("115200,E,7,2"));
        QCOMPARE(fake->handshaking, int(MSComm::comRTS));
        QVERIFY(fake->dtr && fake->rts && fake->eof);
        // The recording holds the log from its start line on.
        QVERIFY(w.logCommands()->recorder()->recording());
        w.logCommands()->recorder()->flush();
        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), logText(w.TxtMsg));
        QVERIFY(shape(w.TxtMsg).endsWith(QStringLiteral("\nT 打开端口：COM3……成功")));
    }

    // Each bad command line, as the program itself takes it.
    void badCommandLinesEndAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
        // Any whole rate goes (an adapter's), but only a whole one.
        QTest::newRow("a speed that is no rate") << QStringList{"--baud", "9600.5"}
                                                 << "--baud 9600.5: not a whole number of bits per second";
        QTest::newRow("a speed of 0") << QStringList{"--baud", "0"}
                                      << "--baud 0: not a whole number of bits per second";
        QTest::newRow("parity") << QStringList{"--parity", "X"} << "--parity X: not one of E, M, N, O, S";
        QTest::newRow("4 data bits") << QStringList{"--data", "4"} << "--data 4: not one of 5, 6, 7, 8";
        QTest::newRow("stop bits") << QStringList{"--stop", "3"} << "--stop 3: not one of 1, 1.5, 2";
        QTest::newRow("handshake") << QStringList{"--handshake", "rts"}
                                   << "--handshake rts: not one of none, xonxoff, rtscts, both";
        QTest::newRow("port") << QStringList{"--port", "COM9"} << "--port COM9: not one of COM1 to COM4, nor a device path";
        QTest::newRow("send mode") << QStringList{"--send-mode", "hex"} << "--send-mode hex: not one of text, bytes";
        QTest::newRow("receive mode") << QStringList{"--receive-mode", "raw"} << "--receive-mode raw: not one of text, bytes";
        QTest::newRow("unwritable record") << QStringList{"--record", "/nonexistent/dir/f.txt"}
                                           << "--record /nonexistent/dir/f.txt: No such file or directory";
        QTest::newRow("a value missing") << QStringList{"--baud"} << "Missing value after '--baud'.";
        QTest::newRow("no option") << QStringList{"COM1"} << "COM1: not an option (see --help)";
    }
    void badCommandLinesEndAtOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        checkRefused(QStringLiteral(TOOL_PROGRAM), QStringLiteral("comm"), arguments, said);
    }

    void helpAndVersion()
    {
        checkHelpAndVersion(QStringLiteral(TOOL_PROGRAM), QStringLiteral("comm"),
                            {"--port", "--baud", "--parity", "--data", "--stop", "--handshake", "--dtr", "--rts", "--eof",
                             "--cr", "--open", "--reconnect", "--send-mode", "--receive-mode", "--record", "--version"},
                            QStringLiteral(CONSOLES_VERSION));
    }

    // The program opens a pseudo-terminal named by its path, at a rate the
    // list lacks (a board's boot rate), records its log, and logs what the
    // far end sends.
    void opensADeviceAndRecords()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("log.txt"));
        ToolProcess comm(QStringLiteral(TOOL_PROGRAM),
                         {QStringLiteral("--port"), pty.devicePath(), QStringLiteral("--baud"), QStringLiteral("74880"),
                          QStringLiteral("--open"), QStringLiteral("--record"), record});
        const QString opened = waitForFileText(record, QStringLiteral("……成功"));
        QVERIFY2(opened.contains(QStringLiteral(" 打开端口：COM1……成功")), qPrintable(opened));
        QVERIFY(pty.write("hello from the far end"));
        const QString got = waitForFileText(record, QStringLiteral("hello from the far end"));
        const QStringList lines = got.split(u'\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).endsWith(QStringLiteral("  启动程序")));
        QVERIFY(lines.at(2).endsWith(QStringLiteral("  接收文本：  hello from the far end")));
        // (The far end reads the device's settings.)
        QCOMPARE(SerialLine::lineSpeed(pty.master()), 74880);
        QVERIFY(comm.running());
    }

    // A device path is COM1 for this run only: its list shows it, and no
    // link is written. (Last: the program keeps it for its run.)
    void devicePathIsCom1ForThisRun()
    {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        CommCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("comm"), QStringLiteral("--port"), QStringLiteral("/dev/serial/by-id/usb-X")}),
                 -1);
        Form1 w(new SerialControl);
        QCOMPARE(line.applyTo(w), -1);
        QCOMPARE(w.CmbPort->currentIndex(), 0);
        QCOMPARE(w.CmbPort->toolTip(), QStringLiteral("/dev/serial/by-id/usb-X"));
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("comm/com1"))));
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_MAIN(TstCommCommandLine)
#include "tst_commcommandline.moc"
