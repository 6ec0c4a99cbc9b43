// SPDX-License-Identifier: MIT
#include "fakewinsock.h"
#include "frmsockbay.h"
#include "guard.h"
#include "logcommands.h"
#include "logpane.h"
#include "logreader.h"
#include "messagebox.h"
#include "ports.h"
#include "quicksends.h"
#include "sendboxmenu.h"
#include "timestamp.h"
#include "sockbaycommandline.h"
#include "toolprocess.h"
#include "windowrow.h"

#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace logreader;

// sockbay started with arguments: each sets the window as the same typing
// and clicks would, a bad command line ends before any window with one line
// naming what is wrong.
QString checkedText(QMenu *menu)
{
    for (QAction *action : menu->actions())
        if (action->isChecked())
            return action->text();
    return QString();
}

class TstSockbayCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        setQuitHook([] {});
        setNoticeHook([](const QString &, const QString &) {});
    }

    void boxesAndOptionsAsTyped()
    {
        SockbayCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("sockbay"), QStringLiteral("--local-port"), QStringLiteral("0123"),
                             QStringLiteral("--remote-port"), QStringLiteral("&H50"), QStringLiteral("--remote-address"),
                             QStringLiteral("127.0.0.1"), QStringLiteral("--send-mode"), QStringLiteral("bytes"),
                             QStringLiteral("--receive-mode"), QStringLiteral("bytes")}),
                 -1);
        FrmSockbay w(new FakeWinsock);
        QCOMPARE(line.applyTo(w), -1);
        // Rewritten as the window rewrites them.
        QCOMPARE(w.TxtLPort->text(), QStringLiteral("123"));
        QCOMPARE(w.TxtRPort->text(), QStringLiteral("80"));
        QCOMPARE(w.TxtRIP->text(), QStringLiteral("127.0.0.1"));
        QVERIFY(w.OptSend[1]->isChecked() && w.OptArrv[1]->isChecked());
        QCoreApplication::processEvents();
        // Nothing said, nothing changed: sends as the box says, collections
        // a second at a time.
        QCOMPARE(w.frameGap(), 0);
        QVERIFY(!w.TxtMsg->dumpView());
        QVERIFY(!stampsCarryMilliseconds());
        QCOMPARE(w.sendBoxMenu()->lineEnding(), LineEnding::None);
        QCOMPARE(w.sendBoxMenu()->checksum(), Checksum::None);
        QCOMPARE(windowRow(&w), rows::idle); // nothing pressed
    }

    void howSendsEndAsChosenInTheMenu()
    {
        SockbayCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("sockbay"), QStringLiteral("--line-ending"), QStringLiteral("CRLF"),
                             QStringLiteral("--checksum"), QStringLiteral("crc16-modbus"), QStringLiteral("--frame-gap"),
                             QStringLiteral("20"), QStringLiteral("--ms-stamps"), QStringLiteral("--dump")}),
                 -1);
        auto *sock = new FakeWinsock;
        FrmSockbay w(sock);
        QCOMPARE(line.applyTo(w), -1);
        QCOMPARE(w.sendBoxMenu()->lineEnding(), LineEnding::CrLf);
        QCOMPARE(w.sendBoxMenu()->checksum(), Checksum::Crc16Modbus);
        // The menu shows the choice as its tick.
        QCOMPARE(checkedText(w.sendBoxMenu()->lineEndingMenu()), QStringLiteral("CR LF"));
        QCOMPARE(checkedText(w.sendBoxMenu()->checksumMenu()), QStringLiteral("CRC-16/MODBUS"));
        QCOMPARE(w.frameGap(), 20);
        QVERIFY(w.TxtMsg->dumpView());
        QVERIFY(stampsCarryMilliseconds());
        QVERIFY(timeStamp().contains(QRegularExpression(QStringLiteral("\\.\\d{3}$"))));
        setStampsCarryMilliseconds(false);
    }

    void quickSendsFromAFileForThisRun()
    {
        QTemporaryDir dir;
        QuickSendSet set;
        set.keys[4].content = QStringLiteral("AT+GMR");
        const QString path = dir.filePath(QStringLiteral("set.json"));
        QVERIFY(!set.save(path));
        SockbayCommandLine line;
        QCOMPARE(line.parse({QStringLiteral("sockbay"), QStringLiteral("--quick-sends"), path}), -1);
        FrmSockbay w(new FakeWinsock);
        QCOMPARE(line.applyTo(w), -1);
        QCOMPARE(w.quickSends().keys[4].content, QStringLiteral("AT+GMR"));
    }

    void listenOrConnectOnceShown_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("line");
        QTest::newRow("listen") << "--listen" << "T  启动侦听:4567……成功";
        QTest::newRow("connect") << "--connect" << "T  连接127.0.0.1:7654……成功";
    }
    void listenOrConnectOnceShown()
    {
        QFETCH(QString, option);
        QFETCH(QString, line);
        SockbayCommandLine commandLine;
        QCOMPARE(commandLine.parse({QStringLiteral("sockbay"), QStringLiteral("--local-port"), QStringLiteral("4567"),
                                    QStringLiteral("--remote-port"), QStringLiteral("7654"),
                                    QStringLiteral("--remote-address"), QStringLiteral("127.0.0.1"), option}),
                 -1);
        auto *sock = new FakeWinsock;
        sock->stateAfterConnect = Winsock::sckConnected;
        FrmSockbay w(sock);
        QCOMPARE(commandLine.applyTo(w), -1);
        QVERIFY(sock->calls.isEmpty());
        QTRY_COMPARE(tail(w.TxtMsg, 1), QStringList{line});
    }

    void badCommandLinesEndAtOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("unknown option") << QStringList{"--port", "1"} << "Unknown option 'port'.";
        QTest::newRow("local port out of range") << QStringList{"--local-port", "70000"}
                                                 << "--local-port 70000: not a port number from 0 to 65535";
        QTest::newRow("local port not a number") << QStringList{"--local-port", "abc"}
                                                 << "--local-port abc: not a port number from 0 to 65535";
        QTest::newRow("remote port 0") << QStringList{"--remote-port", "0"}
                                       << "--remote-port 0: not a port number from 1 to 65535";
        QTest::newRow("address too long") << QStringList{"--remote-address", QString(254, u'a')}
                                          << "--remote-address " + QString(254, u'a')
                                                 + ": longer than the box takes (253 characters)";
        QTest::newRow("listen and connect") << QStringList{"--listen", "--connect"}
                                            << "--listen and --connect: only one of them";
        QTest::newRow("unwritable record") << QStringList{"--record", "/nonexistent/dir/f.txt"}
                                           << "--record /nonexistent/dir/f.txt: No such file or directory";
        QTest::newRow("send mode") << QStringList{"--send-mode", "hex"} << "--send-mode hex: not one of text, bytes";
        QTest::newRow("line ending") << QStringList{"--line-ending", "\\r\\n"}
                                     << "--line-ending \\r\\n: not one of none, cr, lf, crlf";
        QTest::newRow("quick sends not there") << QStringList{"--quick-sends", "/nonexistent/set.json"}
                                               << "--quick-sends /nonexistent/set.json: No such file or directory";
        QTest::newRow("quick sends not ours") << QStringList{"--quick-sends", "/proc/version"}
                                              << "--quick-sends /proc/version: 不是快捷发送的文件";
        QTest::newRow("frame gap") << QStringList{"--frame-gap", "1001"}
                                   << "--frame-gap 1001: not a number of milliseconds from 0 to 1000";
        QTest::newRow("checksum") << QStringList{"--checksum", "crc16"}
                                  << "--checksum crc16: not one of none, sum8, xor8, crc16-modbus, crc16-ccitt, crc32";
    }
    void badCommandLinesEndAtOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        checkRefused(QStringLiteral(TOOL_PROGRAM), QStringLiteral("sockbay"), arguments, said);
    }

    void helpAndVersion()
    {
        checkHelpAndVersion(QStringLiteral(TOOL_PROGRAM), QStringLiteral("sockbay"),
                            {"--local-port", "--remote-port", "--remote-address", "--listen", "--multi", "--connect", "--send-mode",
                             "--receive-mode", "--frame-gap", "--ms-stamps", "--dump", "--line-ending", "--checksum", "--quick-sends",
                             "--record", "--version"},
                            QStringLiteral(CONSOLES_VERSION));
    }

    // The program listens where it is told, records its log, and logs what
    // a client on loopback sends.
    void listensAndRecords()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("log.txt"));
        const quint16 port = freePort();
        ToolProcess sockbay(QStringLiteral(TOOL_PROGRAM), {QStringLiteral("--local-port"), QString::number(port),
                                                           QStringLiteral("--listen"), QStringLiteral("--record"), record});
        const QString listening = waitForFileText(record, QStringLiteral("……成功"));
        QVERIFY2(listening.contains(QStringLiteral("  启动侦听:%1……成功").arg(port)), qPrintable(listening));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(client.waitForConnected(10000));
        client.write("tag from a client");
        QVERIFY(client.waitForBytesWritten(10000));
        const QString got = waitForFileText(record, QStringLiteral("tag from a client"));
        const QStringList lines = got.split(u'\n');
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.at(0).contains(QStringLiteral("  启动程序，本地IP：")));
        QVERIFY2(lines.at(2).endsWith(QStringLiteral("  接受连接请求：127.0.0.1:%1").arg(client.localPort())),
                 qPrintable(lines.at(2)));
        QVERIFY(lines.at(3).endsWith(QStringLiteral("  接收文本：  tag from a client")));
        QVERIFY(sockbay.running());
    }

    // --multi keeps two clients at once, each named in what it sent.
    void servesSeveralWithMulti()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("log.txt"));
        const quint16 port = freePort();
        ToolProcess sockbay(QStringLiteral(TOOL_PROGRAM),
                            {QStringLiteral("--local-port"), QString::number(port), QStringLiteral("--listen"),
                             QStringLiteral("--multi"), QStringLiteral("--record"), record});
        waitForFileText(record, QStringLiteral("……成功"));
        QTcpSocket first, second;
        for (QTcpSocket *client : {&first, &second}) {
            client->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(client->waitForConnected(10000));
        }
        second.write("from the second");
        first.write("from the first");
        QVERIFY(first.waitForBytesWritten(10000) && second.waitForBytesWritten(10000));
        waitForFileText(record, QStringLiteral("from the first"));
        const QString got = waitForFileText(record, QStringLiteral("from the second"));
        QVERIFY2(got.contains(QStringLiteral("  接收文本（127.0.0.1:%1）：  from the first").arg(first.localPort())),
                 qPrintable(got));
        QVERIFY(got.contains(QStringLiteral("  接收文本（127.0.0.1:%1）：  from the second").arg(second.localPort())));
        QVERIFY(sockbay.running());
    }
};

QTEST_MAIN(TstSockbayCommandLine)
#include "tst_sockbaycommandline.moc"
