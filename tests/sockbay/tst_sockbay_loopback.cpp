// SPDX-License-Identifier: MIT
// The network tester's window over the real socket control, on loopback
// only: every peer is a Qt socket of the test at 127.0.0.1.
#include "clock.h"
#include "deaflistener.h"
#include "deafpeer.h"
#include "eventqueue.h"
#include "checksum.h"
#include "framing.h"
#include "quicksenddialog.h"
#include "sendfile.h"
#include "frmsockbay.h"
#include "guard.h"
#include "lamp.h"
#include "logpane.h"
#include "logreader.h"
#include "savedialog.h"
#include "messagebox.h"
#include "payload.h"
#include "ports.h"
#include "sendboxmenu.h"
#include "servedclients.h"
#include "socketcontrol.h"
#include "windowrow.h"

#include <QFile>
#include <QGroupBox>
#include <QTableWidget>
#include <QSpinBox>
#include <QComboBox>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QMenu>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/socket.h>

using namespace logreader;

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

// Makes the socket layer's own connect timer (Qt's, below the window's
// limit) run out almost at once, as it does at about a minute on its own.
void hurrySocketLayerTimers(QObject *control)
{
    const auto timers = control->findChildren<QTimer *>();
    for (QTimer *timer : timers)
        if (timer->isActive() && timer->interval() > 1000)
            timer->start(1);
}

} // namespace

class TstSockbayLoopback : public QObject
{
    Q_OBJECT

    // Seconds pass twenty times faster: a settle pause takes 50 ms.
    ScaledClock m_fast{20.0};
    FrmSockbay *w = nullptr;

    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    // A client of the test connecting to the window's listening port.
    std::unique_ptr<QTcpSocket> dial(quint16 port)
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress(kLoopback), port);
        return client;
    }

    // Connects the window out to `server`, a peer of the test's, on
    // loopback; returns the peer's end (none if it never came).
    std::unique_ptr<QTcpSocket> connectToPeer(QTcpServer &server)
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return nullptr;
        w->TxtRPort->setText(QString::number(server.serverPort()));
        click(w->CmdCnn);
        if (!server.hasPendingConnections() && !server.waitForNewConnection(5000))
            return nullptr;
        return std::unique_ptr<QTcpSocket>(server.nextPendingConnection());
    }

    // Listens on a free port through the window; returns the port.
    quint16 listenOnFreePort()
    {
        const quint16 port = freePort();
        w->TxtLPort->setText(QString::number(port));
        click(w->CmdLstn);
        return port;
    }

private slots:
    void initTestCase()
    {
        setQuitHook([] {});
        setNoticeHook([](const QString &, const QString &) {});
    }
    void init()
    {
        Clock::install(&m_fast);
        w = new FrmSockbay(new SocketControl);
        w->TxtRIP->setText(kLoopback);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup()
    {
        setStampsCarryMilliseconds(false);
        delete w;
        w = nullptr;
        Clock::install(nullptr);
    }

    void startLineNamesThisMachine()
    {
        const QString start = shapedLines(w->TxtMsg).constFirst();
        QVERIFY2(start.startsWith(QStringLiteral("T  启动程序，本地IP：")), qPrintable(start));
        QVERIFY(start.contains(QStringLiteral("  机器名：")));
        QVERIFY(!start.endsWith(QStringLiteral("  机器名：")));
    }

    void connectOutAndExchange()
    {
        QTcpServer peerServer;
        QVERIFY(peerServer.listen(QHostAddress::LocalHost, 0));
        w->TxtRPort->setText(QString::number(peerServer.serverPort()));
        click(w->CmdCnn);

        // The line ends with where it got to, in the colour of its success.
        const QString where = QStringLiteral("127.0.0.1:%1").arg(peerServer.serverPort());
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  连接" + where + "……成功（" + where + "）"});
        QCOMPARE(colourOf(w->TxtMsg, "成功（" + where + "）", kLast), kBlue);
        QCOMPARE(windowRow(w), rows::connected);
        QCOMPARE(w->focusWidget(), w->CmdSend);
        QTRY_VERIFY(peerServer.hasPendingConnections());
        std::unique_ptr<QTcpSocket> peer(peerServer.nextPendingConnection());

        // Sending: text, then bytes; the control's progress flashes the lamp
        // (on the real clock here, so that it stays lit long enough to see).
        Clock::install(nullptr);
        w->TxtSend->setText(QStringLiteral("  hello 你好  "));
        click(w->CmdSend);
        QTRY_VERIFY(w->ShpSend->isLit());
        QTRY_COMPARE(peer->bytesAvailable(), qint64(QByteArray("hello 你好").size()));
        QCOMPARE(peer->readAll(), QByteArray("hello 你好"));
        QTRY_VERIFY(!w->ShpSend->isLit());
        Clock::install(&m_fast);
        w->OptSend[1]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("41 42 0 ff"));
        click(w->CmdSend);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(4));
        QCOMPARE(peer->readAll(), QByteArray("AB\0\xff", 4));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  发送数据：  41  42  0  FF")});

        // Receiving: text, then bytes.
        peer->write("line one\nline 二");
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("  接收文本：  line one\nline 二")));
        w->OptArrv[1]->setChecked(true);
        peer->write(QByteArray("\x01\xff\x00", 3));
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  接收数据：  1  FF  0")});

        // Hang-up of an outgoing connection.
        click(w->CmdClose);
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  挂断连接", ""}));
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdCnn);
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    }

    void framesBySilenceAsThePeerWroteThem()
    {
        // On the wall clock: a peer writes three frames 50 and 300 ms apart;
        // with a 20 ms gap each is an entry of its own, stamped within a few
        // milliseconds of its writing, run after run. With the gap off, the
        // one-second collection takes all three as one entry, as always.
        Clock::install(nullptr);
        QTcpServer peerServer;
        std::unique_ptr<QTcpSocket> peer = connectToPeer(peerServer);
        QVERIFY(peer);
        w->OptArrv[1]->setChecked(true);
        w->setFraming(20, true);
        const QList<QByteArray> frames{QByteArray::fromHex("01030000000AC5CD"), QByteArray::fromHex("0103"),
                                       QByteArray::fromHex("14000300")};
        QList<qint64> errors;
        for (int run = 0; run < 20; ++run) {
            const QString problem = framesRun(w->TxtMsg, int(peer->socketDescriptor()), frames, {0, 50, 300}, &errors);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("run %1: ").arg(run) + problem));
        }
        const QString said = spread(errors);
        qInfo("%s", qPrintable(said));
        QVERIFY2(errors.first() >= -1 && errors[errors.size() / 2] <= 5, qPrintable(said));

        const QString header = QStringLiteral("  接收数据：");
        w->setFraming(0, false);
        const qsizetype before = entriesAfter(w->TxtMsg, header).size();
        FrameWriter writer(int(peer->socketDescriptor()), frames, {0, 50, 300});
        QTRY_COMPARE_WITH_TIMEOUT(entriesAfter(w->TxtMsg, header).size(), before + 1, 5000);
        writer.join();
        QTRY_VERIFY(!w->Receiving);
        QCOMPARE(entriesAfter(w->TxtMsg, header).mid(before), QStringList{FormatHexBytes(frames[0] + frames[1] + frames[2])});
    }

    void aFileReachesThePeerWhole()
    {
        // 4 MiB through the menu's 发送文件…: the peer gets every byte, in
        // order, and the log says it was done, with the CRC-32 of it.
        QTcpServer peerServer;
        std::unique_ptr<QTcpSocket> peer = connectToPeer(peerServer);
        QVERIFY(peer);
        QTemporaryDir dir;
        QByteArray content(4 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char((i * 7919) >> 3);
        const QString path = dir.filePath(QStringLiteral("image.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QVERIFY(sendFileThroughTheMenu(*w, path));
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += peer->readAll()).size() >= content.size(), 20000);
        QVERIFY(got == content);
        const QString crc = QString::number(crc32(content), 16).rightJustified(8, u'0').toUpper();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  发送文件完成：4194304个字节，CRC-32 ") + crc});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("发送文件完成"), kLast), kBlue);
    }

    void quickSendsOnTheKeysKeptForNextTime()
    {
        // Set in the dialog as a user does (in a configuration folder of
        // the test's), sent on F2, repeated on F3 until Esc; a window made
        // afterwards has them.
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        struct Restore
        {
            ~Restore() { qunsetenv("XDG_CONFIG_HOME"); }
        } restore;
        delete w;
        w = new FrmSockbay(new SocketControl);
        w->TxtRIP->setText(kLoopback);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTcpServer peerServer;
        std::unique_ptr<QTcpSocket> peer = connectToPeer(peerServer);
        QVERIFY(peer);

        w->editQuickSends();
        auto *dialog = w->findChild<QuickSendDialog *>();
        QVERIFY(dialog);
        dialog->Table->setItem(1, QuickSendDialog::Content, new QTableWidgetItem(QStringLiteral("AT")));
        static_cast<QComboBox *>(dialog->Table->cellWidget(1, QuickSendDialog::Ending))->setCurrentIndex(3); // CR LF
        dialog->Table->setItem(2, QuickSendDialog::Name, new QTableWidgetItem(QStringLiteral("心跳")));
        dialog->Table->setItem(2, QuickSendDialog::Content, new QTableWidgetItem(QStringLiteral("70 69")));
        static_cast<QCheckBox *>(dialog->Table->cellWidget(2, QuickSendDialog::Bytes))->setChecked(true);
        static_cast<QSpinBox *>(dialog->Table->cellWidget(2, QuickSendDialog::Period))->setValue(20);
        dialog->accept();
        QTRY_VERIFY(!w->findChild<QuickSendDialog *>());
        QVERIFY(QFile::exists(config.filePath(QStringLiteral("sockbay/quicksends.json"))));

        QCOMPARE(w->quickSends().keys[1].content, QStringLiteral("AT"));
        // The window is the active one again, as when the dialog closes.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_F2);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(4));
        QCOMPARE(peer->readAll(), QByteArray("AT\r\n"));
        QTest::keyClick(w->TxtSend, Qt::Key_F3);
        QVERIFY(w->quickSender()->repeating());
        QByteArray pings;
        QTRY_VERIFY((pings += peer->readAll()).size() >= 6);
        QTest::keyClick(w->TxtSend, Qt::Key_Escape);
        QVERIFY(!w->quickSender()->repeating());
        QVERIFY2(lastLine(w->TxtMsg).contains(QStringLiteral("  重复发送结束：已停止；已发送")), qPrintable(lastLine(w->TxtMsg)));
        QTest::qWait(60);
        pings += peer->readAll();
        QCOMPARE(pings, QByteArray("pi").repeated(pings.size() / 2));
        const QStringList sent = entriesAfter(w->TxtMsg, QStringLiteral("  发送数据："));
        QCOMPARE(sent.size(), pings.size() / 2); // every send logged, every logged send carried

        FrmSockbay again(new SocketControl);
        QCOMPARE(again.quickSends().keys[1].content, QStringLiteral("AT"));
        QCOMPARE(again.quickSends().keys[1].ending, LineEnding::CrLf);
        QCOMPARE(again.quickSends().keys[2].periodMs, 20);
    }

    void sendsEndAsTheSendBoxMenuSays()
    {
        // Chosen in the send box's own context menu, as a user does: a text
        // send ends in CR LF, a byte send in its CRC; the peer gets exactly
        // that, the log shows the text as typed and every byte that went.
        QTcpServer peerServer;
        std::unique_ptr<QTcpSocket> peer = connectToPeer(peerServer);
        QVERIFY(peer);
        const auto choose = [this](const QString &submenu, const QString &item) {
            QMenu *menu = w->sendBoxMenu()->makeMenu();
            bool found = false;
            for (QAction *action : menu->actions()) {
                if (action->menu() && action->text() == submenu) {
                    for (QAction *choice : action->menu()->actions()) {
                        if (choice->text() == item) {
                            choice->trigger();
                            found = true;
                        }
                    }
                }
            }
            delete menu;
            return found;
        };
        QVERIFY(choose(QStringLiteral("行尾"), QStringLiteral("CR LF")));
        w->TxtSend->setText(QStringLiteral(" GET / HTTP/1.0 "));
        click(w->CmdSend);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(16));
        QCOMPARE(peer->readAll(), QByteArray("GET / HTTP/1.0\r\n"));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  发送文本：  GET / HTTP/1.0")});

        QVERIFY(choose(QStringLiteral("校验"), QStringLiteral("CRC-16/MODBUS")));
        w->OptSend[1]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("01 03 00 00 00 0A"));
        click(w->CmdSend);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(8));
        QCOMPARE(peer->readAll().toHex(' '), QByteArray("01 03 00 00 00 0a c5 cd"));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  发送数据：  1  3  0  0  0  A  C5  CD")});

        // Back to none: sends are what the box says again.
        QVERIFY(choose(QStringLiteral("校验"), QStringLiteral("无")));
        QVERIFY(choose(QStringLiteral("行尾"), QStringLiteral("无")));
        click(w->CmdSend);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(6));
        QCOMPARE(peer->readAll().toHex(' '), QByteArray("01 03 00 00 00 0a"));
        w->OptSend[0]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("x"));
        click(w->CmdSend);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(1));
        QCOMPARE(peer->readAll(), QByteArray("x"));
    }

    void connectRefused()
    {
        w->TxtRPort->setText(QString::number(freePort()));
        click(w->CmdCnn);
        QTRY_COMPARE(windowRow(w), rows::idle);
        QVERIFY(!w->TxtMsg->logText().contains(QStringLiteral("成功")));
        // The refusal arrives as the control's error event: a red line with
        // the platform's description, then the closing line.
        const QStringList lines = shapedLines(w->TxtMsg);
        QVERIFY(lines.indexOf(QRegularExpression(QStringLiteral("^T  连接127\\.0\\.0\\.1:\\d+……$"))) >= 0);
        const qsizetype error = lines.indexOf(QRegularExpression(QStringLiteral("^T  通讯错误：.*refused.*")));
        QVERIFY2(error >= 0, qPrintable(lines.join(u'|')));
        QCOMPARE(colourOf(w->TxtMsg, lines.at(error).mid(kStamp.size()), kLast), kRed);
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  通讯结束", ""}));
        QVERIFY(!w->TxtMsg->logText().contains(QStringLiteral("失败")));
        QCOMPARE(w->Winsock1->State(), int(Winsock::sckClosed));
    }

    void connectThatNeverCompletesFails()
    {
        // A listener that never accepts, its backlog full: the handshake is
        // never answered, and the window gives up after its 60 seconds.
        DeafListener deaf;
        QVERIFY(deaf.start());

        ScaledClock faster(200.0); // the 60 s limit in 0.3 s
        Clock::install(&faster);
        w->TxtRPort->setText(QString::number(deaf.port()));
        QElapsedTimer wall;
        wall.start();
        click(w->CmdCnn);
        Clock::install(&m_fast);
        QVERIFY2(wall.elapsed() < 10000, qPrintable(QString::number(wall.elapsed())));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:%1……失败").arg(deaf.port())});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("失败"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        QCOMPARE(w->Winsock1->State(), int(Winsock::sckClosed));
    }

    // Esc from the send box, or 取消连接 in the address frame's menu, ends
    // an unanswered connect at once, as a failed one.
    void aConnectCanBeCancelled_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("Esc") << true;
        QTest::newRow("menu") << false;
    }
    void aConnectCanBeCancelled()
    {
        QFETCH(bool, byKey);
        DeafListener deaf;
        QVERIFY(deaf.start());
        w->TxtRPort->setText(QString::number(deaf.port()));
        QVERIFY(!w->ActCancel->isEnabled());
        QVERIFY(w->FrmSet->actions().contains(w->ActCancel));
        bool wasEnabled = false;
        QTimer::singleShot(200, this, [&] {
            wasEnabled = w->ActCancel->isEnabled();
            if (byKey) {
                w->TxtSend->setFocus();
                QTest::keyClick(w->TxtSend, Qt::Key_Escape);
            } else {
                w->ActCancel->trigger();
            }
        });
        QElapsedTimer wall;
        wall.start();
        click(w->CmdCnn);
        QVERIFY2(wall.elapsed() < 5000, qPrintable(QString::number(wall.elapsed())));
        QVERIFY(wasEnabled);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:%1……失败：已取消").arg(deaf.port())});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("失败：已取消"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->Winsock1->State(), int(Winsock::sckClosed));
        QVERIFY(!w->ActCancel->isEnabled());
    }

    // IPv6 both ways: an address typed bare or in brackets, and a client
    // named with its address in brackets.
    void ipv6BothWays_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("bare") << "::1";
        QTest::newRow("brackets") << "[::1]";
    }
    void ipv6BothWays()
    {
        QFETCH(QString, typed);
        QTcpServer peerServer;
        if (!peerServer.listen(QHostAddress::LocalHostIPv6, 0))
            QSKIP("this machine has no IPv6 loopback");
        w->TxtRIP->setText(typed);
        w->TxtRPort->setText(QString::number(peerServer.serverPort()));
        click(w->CmdCnn);
        const QString where = QStringLiteral("[::1]:%1").arg(peerServer.serverPort());
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  连接" + where + "……成功（" + where + "）"});
        click(w->CmdClose);

        const quint16 port = listenOnFreePort();
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHostIPv6, port);
        QVERIFY(client.waitForConnected(5000));
        QTRY_COMPARE(windowRow(w), rows::serving);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  接受连接请求：[::1]:%1").arg(client.localPort())});
    }

    // A name as long as DNS allows is taken whole; one that does not
    // resolve is one red entry naming it, with the resolver's reason.
    void longNamesWholeAndUnresolvedNamed()
    {
        const QString longName = QString(63, u'a') + u'.' + QString(63, u'b') + u'.' + QString(63, u'c') + u'.'
            + QString(61, u'd');
        QCOMPARE(longName.size(), 253);
        w->TxtRIP->clear();
        w->TxtRIP->setFocus();
        QTest::keyClicks(w->TxtRIP, longName + QStringLiteral("xyz"));
        QCOMPARE(w->TxtRIP->text(), longName);
        // A name no resolver takes (a space in it): refused without asking
        // the network.
        const QString bad = QStringLiteral("no such host.example");
        w->TxtRIP->setText(bad);
        click(w->CmdCnn);
        QTRY_COMPARE_WITH_TIMEOUT(windowRow(w), rows::idle, 10000);
        const QStringList red = redEntries(w->TxtMsg);
        QCOMPARE(red.size(), 1);
        QVERIFY2(red[0].startsWith("T  通讯错误：" + bad + ": "), qPrintable(red[0]));
    }

    // 同时接受多个连接: every client is kept and named; what each sends is
    // logged under its name, sends go to all or to the one chosen, and each
    // end is logged after what that client sent.
    void severalClientsAtOnce()
    {
        w->ActMulti->trigger();
        QVERIFY(w->multiClient());
        const quint16 port = listenOnFreePort();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            clients.push_back(dial(port));
            QVERIFY(clients.back()->waitForConnected(5000));
            names << QStringLiteral("127.0.0.1:%1").arg(clients.back()->localPort());
        }
        QTRY_COMPARE(w->servedClients()->count(), 3);
        QCOMPARE(windowRow(w), rows::servingMany);
        // A session keeps the way it began.
        QVERIFY(!w->ActMulti->isEnabled());
        w->setMultiClient(false);
        QVERIFY(w->multiClient() && w->ActMulti->isChecked());
        for (const QString &name : names)
            QVERIFY(shape(w->TxtMsg).contains("T  接受连接请求：" + name));

        for (int i = 0; i < 3; ++i)
            clients[size_t(i)]->write("hello from " + QByteArray::number(i));
        for (int i = 0; i < 3; ++i)
            QTRY_VERIFY(shape(w->TxtMsg).contains("T  接收文本（" + names[i] + "）：  hello from " + QString::number(i)));

        // To all, then to one through 发送到.
        w->TxtSend->setText(QStringLiteral("to all"));
        click(w->CmdSend);
        emit w->sendToMenu()->aboutToShow();
        QStringList choices;
        for (QAction *a : w->sendToMenu()->actions())
            if (!a->isSeparator())
                choices << a->text();
        QCOMPARE(choices, QStringList{"所有连接"} + names);
        w->sendToMenu()->actions().last()->trigger();
        w->TxtSend->setText(QStringLiteral("just you"));
        click(w->CmdSend);
        for (int i = 0; i < 3; ++i) {
            const QByteArray want = i == 2 ? "to alljust you" : "to all";
            QByteArray got;
            QTRY_VERIFY((got += clients[size_t(i)]->readAll()).size() >= want.size());
            QCOMPARE(got, want);
        }

        // One ends: its last words, then its end; the others stay.
        clients[0]->write("last words");
        clients[0]->disconnectFromHost();
        QTRY_COMPARE(w->servedClients()->count(), 2);
        const QString log = shape(w->TxtMsg);
        const qsizetype words = log.indexOf("T  接收文本（" + names[0] + "）：  last words");
        QVERIFY(words >= 0);
        QVERIFY(log.indexOf("T  通讯结束：" + names[0]) > words);
        QCOMPARE(windowRow(w), rows::servingMany);

        // 停止 ends the rest, each with what it sent before.
        clients[1]->write("tail");
        QVERIFY(clients[1]->waitForBytesWritten(5000));
        QTest::qWait(20);
        click(w->CmdStop);
        const QString stopped = shape(w->TxtMsg);
        const qsizetype tail = stopped.indexOf("T  接收文本（" + names[1] + "）：  tail");
        QVERIFY(tail >= 0);
        QVERIFY(stopped.indexOf("T  通讯结束：" + names[1]) > tail);
        QVERIFY(stopped.indexOf("T  通讯结束：" + names[2]) > stopped.indexOf("T  通讯结束：" + names[1]));
        QVERIFY(stopped.endsWith(QStringLiteral("T  停止侦听\n")));
        QCOMPARE(w->servedClients()->count(), 0);
        QCOMPARE(windowRow(w), rows::idle);
        QVERIFY(w->ActMulti->isEnabled());
        QTRY_COMPARE(clients[2]->state(), QAbstractSocket::UnconnectedState);
    }

    // Many clients sending at once: every byte logged once, in order, under
    // the client that sent it.
    void manyClientsEachLoggedWhole()
    {
        constexpr int kClients = 20;
        constexpr int kBytes = 64 * 1024;
        w->setMultiClient(true);
        const quint16 port = listenOnFreePort();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        QHash<QString, QByteArray> sent;
        for (int i = 0; i < kClients; ++i) {
            clients.push_back(dial(port));
            QVERIFY(clients.back()->waitForConnected(5000));
            QByteArray data;
            while (data.size() < kBytes)
                data += "c" + QByteArray::number(i) + "-" + QByteArray::number(data.size()) + ";";
            sent.insert(QStringLiteral("127.0.0.1:%1").arg(clients.back()->localPort()), data);
        }
        QTRY_COMPARE(w->servedClients()->count(), kClients);
        for (int i = 0; i < kClients; ++i)
            clients[size_t(i)]->write(sent.value(QStringLiteral("127.0.0.1:%1").arg(clients[size_t(i)]->localPort())));
        const auto gathered = [&] {
            QHash<QString, QByteArray> got;
            for (const QString &line : logLines(w->TxtMsg)) {
                const qsizetype open = line.indexOf(QStringLiteral("  接收文本（"));
                if (open < 0)
                    continue;
                const qsizetype close = line.indexOf(QStringLiteral("）：  "), open);
                got[line.mid(open + 7, close - open - 7)] += line.mid(close + 4).toUtf8();
            }
            return got;
        };
        QTRY_COMPARE_WITH_TIMEOUT(gathered(), sent, 30000);
    }

    void connectNeverAnsweredAlwaysFails()
    {
        // The socket layer's own time-out, running out while the window
        // still waits, must not end the attempt: the window's limit does,
        // every time.
        DeafListener deaf;
        QVERIFY(deaf.start());
        ScaledClock faster(200.0); // the 60 s limit in 0.3 s
        w->TxtRPort->setText(QString::number(deaf.port()));
        for (int attempt = 0; attempt < 10; ++attempt) {
            Clock::install(&faster);
            QTimer hurry;
            connect(&hurry, &QTimer::timeout, this, [this] { hurrySocketLayerTimers(w->Winsock1); });
            hurry.start(20);
            click(w->CmdCnn);
            hurry.stop();
            Clock::install(&m_fast);
            QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:%1……失败").arg(deaf.port())});
            QCOMPARE(windowRow(w), rows::idle);
            QCOMPARE(w->focusWidget(), w->CmdLstn);
        }
        QVERIFY(!w->TxtMsg->logText().contains(QStringLiteral("通讯错误")));
        QCOMPARE(w->TxtMsg->logText().count(QStringLiteral("失败")), 10);
    }

    // A peer that sends and ends at once: every byte is logged before the
    // end, and a reset is told as an error.
    void peerEndsRightAfterSending_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("ending");
        QTest::newRow("close") << "close" << QStringList{"T  通讯结束", ""};
        QTest::newRow("half-close") << "half-close" << QStringList{"T  通讯结束", ""};
        QTest::newRow("reset") << "reset"
                               << QStringList{QStringLiteral("T  通讯错误：Connection reset by peer"), "T  通讯结束", ""};
    }
    void peerEndsRightAfterSending()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, ending);
        const quint16 port = listenOnFreePort();
        // Connected, sent and ended before the window even accepts.
        QTcpSocket client;
        client.connectToHost(QHostAddress(kLoopback), port);
        QVERIFY(client.waitForConnected(5000));
        const quint16 clientPort = client.localPort();
        client.write("msg 1\nmsg 2");
        QVERIFY(client.flush());
        const int fd = int(client.socketDescriptor());
        if (how == QStringLiteral("close")) {
            client.disconnectFromHost();
        } else if (how == QStringLiteral("half-close")) {
            ::shutdown(fd, SHUT_WR);
        } else {
            const linger now{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
            client.abort();
        }
        QTRY_VERIFY_WITH_TIMEOUT(w->TxtMsg->logText().count(QStringLiteral("  启动侦听:")) == 2, 10000);
        // A client reset before it was taken cannot be named any more.
        const QString accepted = how == QStringLiteral("reset")
            ? QStringLiteral("T  接受连接请求")
            : QStringLiteral("T  接受连接请求：127.0.0.1:%1").arg(clientPort);
        QStringList expected{accepted, "T  接收文本：  msg 1", "msg 2"};
        expected += ending;
        expected << QStringLiteral("T  启动侦听:%1……成功").arg(port);
        QCOMPARE(tail(w->TxtMsg, int(expected.size())), expected);
        if (how == QStringLiteral("reset"))
            QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  通讯错误：Connection reset by peer"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::listening);
    }

    void serverGreetsAndHangsUp()
    {
        // As an HTTP/1.0 server does: it answers and closes at once.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        connect(&server, &QTcpServer::newConnection, this, [&server] {
            QTcpSocket *peer = server.nextPendingConnection();
            peer->write("HTTP/1.0 200 OK\r\n\r\nbye");
            peer->disconnectFromHost();
        });
        w->TxtRPort->setText(QString::number(server.serverPort()));
        click(w->CmdCnn);
        QTRY_COMPARE_WITH_TIMEOUT(windowRow(w), rows::idle, 10000);
        QCOMPARE(tail(w->TxtMsg, 6), (QStringList{QStringLiteral("T  连接127.0.0.1:%1……成功（127.0.0.1:%1）").arg(server.serverPort()),
                                          "T  接收文本：  HTTP/1.0 200 OK", "", "bye", "T  通讯结束", ""}));
    }

    void textCutAcrossReads()
    {
        const quint16 port = listenOnFreePort();
        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);
        client->write("\xE3");
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  "});
        QTRY_VERIFY(!w->Receiving);
        client->write("\xE3\x81\x82");
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  接收文本：  \uFFFDあ")});
        // Cut again and hung up: the held bytes show at the end.
        client->write("\xE3\x81");
        QTRY_COMPARE(w->TxtMsg->logText().count(QStringLiteral("  接收文本：")), 3);
        QTRY_VERIFY(!w->Receiving);
        click(w->CmdClose);
        QCOMPARE(tail(w->TxtMsg, 4), (QStringList{QStringLiteral("T  接收文本：  \uFFFD"), "T  挂断连接", "",
                                          QStringLiteral("T  启动侦听:%1……成功").arg(port)}));
    }

    void hangUpLogsWhatTheSystemStillHolds()
    {
        // Bytes that reached this machine before the hang-up, but that no
        // event has brought in yet (they wait in the kernel), are logged
        // before its line.
        const quint16 port = listenOnFreePort();
        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);
        QByteArray burst;
        for (int i = 0; i < 4000; ++i) // well within a receive queue
            burst += QByteArray::number(i) + ' ';
        // Written straight to the socket, so that no event of this thread is
        // needed for it to leave.
        const int fd = int(client->socketDescriptor());
        qsizetype sent = 0;
        while (sent < burst.size()) {
            const ssize_t n = ::send(fd, burst.constData() + sent, size_t(burst.size() - sent), 0);
            QVERIFY(n > 0);
            sent += n;
        }
        // On loopback the bytes are in the window's receive queue once sent.
        w->CmdClose_Click(); // at once: no event runs between the send and the hang-up
        const QStringList lines = tail(w->TxtMsg, 4);
        QCOMPARE(entriesAfter(w->TxtMsg, QStringLiteral("  接收文本：  ")), QStringList{QString::fromLatin1(burst)});
        QCOMPARE(lines.mid(1), (QStringList{"T  挂断连接", "", QStringLiteral("T  启动侦听:%1……成功").arg(port)}));
    }

    void captureIsWhatTheWireCarried()
    {
        const quint16 port = listenOnFreePort();
        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QByteArray sent;
        for (int round = 0; round < 3; ++round)
            for (int b = 0; b < 256; ++b)
                sent.append(char(b));
        client->write(sent);
        QVERIFY(client->flush());
        client->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(w->TxtMsg->logText().contains(QStringLiteral("通讯结束")), 10000);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.bin"));
        setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return path; });
        w->saveReceived();
        setSavePathHook(nullptr);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toHex(), sent.toHex());
    }

    void listenServeAndListenAgain()
    {
        const quint16 port = listenOnFreePort();
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  启动侦听:%1……成功").arg(port)});
        QCOMPARE(windowRow(w), rows::listening);
        QCOMPARE(w->focusWidget(), w->CmdStop);

        auto first = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  接受连接请求：127.0.0.1:%1").arg(first->localPort())});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("：127.0.0.1:"), kLast), kBlack);
        QTRY_COMPARE(first->state(), QAbstractSocket::ConnectedState);

        // Served both ways.
        first->write("ping");
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  ping"});
        w->TxtSend->setText(QStringLiteral("pong"));
        click(w->CmdSend);
        QTRY_COMPARE(first->bytesAvailable(), qint64(4));
        QCOMPARE(first->readAll(), QByteArray("pong"));

        // One connection at a time: while serving, nothing listens.
        auto second = dial(port);
        QTRY_COMPARE(second->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(second->error(), QAbstractSocket::ConnectionRefusedError);
        QCOMPARE(windowRow(w), rows::serving);

        // Hang-up listens again at once, on the same port.
        click(w->CmdClose);
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  挂断连接", "", QStringLiteral("T  启动侦听:%1……成功").arg(port)}));
        QCOMPARE(windowRow(w), rows::listening);
        QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);

        // The peer's close does the same.
        auto third = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(third->state(), QAbstractSocket::ConnectedState);
        third->disconnectFromHost();
        QTRY_COMPARE(windowRow(w), rows::listening);
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  通讯结束", "", QStringLiteral("T  启动侦听:%1……成功").arg(port)}));

        // Stop: nothing listens any more.
        click(w->CmdStop);
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  停止侦听", ""}));
        QCOMPARE(windowRow(w), rows::idle);
        QVERIFY(!w->ListenMode);
        auto late = dial(port);
        QTRY_COMPARE(late->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(late->error(), QAbstractSocket::ConnectionRefusedError);
    }

    // Port 0, no number or an empty box: the system picks the port, and the
    // line and the box name the one it picked, where a client reaches the
    // window; listening again keeps it.
    void listenNamesThePortTheSystemPicked_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("0") << "0";
        QTest::newRow("abc") << "abc";
        QTest::newRow("empty") << "";
    }
    void listenNamesThePortTheSystemPicked()
    {
        QFETCH(QString, typed);
        w->TxtLPort->setText(typed);
        click(w->CmdLstn);
        QCOMPARE(windowRow(w), rows::listening);
        const QString shown = w->TxtLPort->text();
        const quint16 port = shown.toUShort();
        QVERIFY2(port > 0, qPrintable(shown));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  启动侦听:%1……成功").arg(port)});

        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);
        client->write("tag");
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  tag"});
        client->disconnectFromHost();
        QTRY_COMPARE(windowRow(w), rows::listening);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  启动侦听:%1……成功").arg(port)});
        auto again = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
    }

    // Fifty clients at once, each sending its own tag: every one that got
    // through to the window is either served (its tag in the log) or
    // named as refused, none talks to it unseen.
    void noClientIsResetUnseen()
    {
        const quint16 port = listenOnFreePort();
        QCOMPARE(windowRow(w), rows::listening);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        QStringList reached; // "127.0.0.1:port" of each client the system connected
        for (int i = 0; i < 50; ++i) {
            clients.push_back(dial(port));
            QTcpSocket *client = clients.back().get();
            connect(client, &QTcpSocket::connected, client, [client, &reached] {
                const QString name = kLoopback + u':' + QString::number(client->localPort());
                reached << name;
                client->write(("tag-" + name + ";").toUtf8());
                client->disconnectFromHost();
            });
        }
        const auto allDone = [&] {
            return std::all_of(clients.begin(), clients.end(), [](const auto &c) {
                return c->state() == QAbstractSocket::UnconnectedState;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(allDone(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->Receiving && windowRow(w) == rows::listening, 10000);
        deliverQueuedEvents();
        const QString log = logText(w->TxtMsg);
        QVERIFY(!reached.isEmpty());
        int served = 0, refused = 0;
        for (const QString &name : std::as_const(reached)) {
            const bool wasServed = log.contains(QStringLiteral("tag-") + name + u';');
            const bool wasRefused = log.contains(QStringLiteral("拒绝连接请求：") + name + QStringLiteral("，已断开"));
            QVERIFY2(wasServed != wasRefused, qPrintable(name));
            served += wasServed;
            refused += wasRefused;
        }
        QVERIFY(served >= 1);
        QCOMPARE(int(log.count(QStringLiteral("拒绝连接请求："))), refused);
    }

    // A peer that takes nothing. Sends fill what the systems hold, then the
    // send buffer refuses more in red; when the connection ends (hung up
    // and cut off after the linger, or reset by the peer) the log counts
    // in red what never arrived. That and what the peer's system received
    // add up to every send that was logged.
    void sendsThePeerNeverTookAreToldOf_data()
    {
        QTest::addColumn<bool>("hungUp");
        QTest::newRow("hung up") << true;
        QTest::newRow("reset by the peer") << false;
    }
    void sendsThePeerNeverTookAreToldOf()
    {
        QFETCH(bool, hungUp);
        static_cast<SocketControl *>(w->Winsock1)->setLingerLimit(300);
        const quint16 port = listenOnFreePort();
        DeafPeer peer;
        QVERIFY(peer.connectTo(port, 4096)); // a small buffer: fewer sends fill what the systems hold
        QTRY_COMPARE(windowRow(w), rows::serving);

        const QString text(512, QChar(0x4E2D)); // a full box, three bytes a character
        w->TxtSend->setText(text);
        const QString refusal = QStringLiteral("The send buffer is full");
        for (int i = 0; i < 20000 && !logText(w->TxtMsg).contains(refusal); ++i) {
            w->CmdSend->click();
            if (i % 64 == 0)
                QCoreApplication::processEvents(); // the system takes what it can
        }
        QVERIFY(logText(w->TxtMsg).contains(refusal));
        QCOMPARE(colourOf(w->TxtMsg, refusal, kLast), kRed);
        const qint64 sent = logText(w->TxtMsg).count(QStringLiteral("  发送文本：  ")) * text.toUtf8().size();
        QTest::qWait(100);

        const QRegularExpression dropped(QStringLiteral("T  有(\\d+)个字节未能送出，已丢弃"));
        if (hungUp) {
            click(w->CmdClose);
            QTRY_VERIFY(dropped.match(tail(w->TxtMsg, 1).constFirst()).hasMatch());
            const qint64 lost = dropped.match(tail(w->TxtMsg, 1).constFirst()).captured(1).toLongLong();
            // (The peer's system may have taken a little more meanwhile.)
            QCOMPARE(peer.received() + lost, sent);
        } else {
            const qint64 arrived = peer.received();
            peer.reset();
            QTRY_VERIFY(logText(w->TxtMsg).contains(QStringLiteral("  通讯结束")));
            const QStringList lines = tail(w->TxtMsg, 5);
            QVERIFY2(lines.at(0).startsWith(QStringLiteral("T  通讯错误：")), qPrintable(lines.join(u'|')));
            const QRegularExpressionMatch match = dropped.match(lines.at(1));
            QVERIFY2(match.hasMatch(), qPrintable(lines.join(u'|')));
            QCOMPARE(lines.mid(2, 2), (QStringList{"T  通讯结束", ""}));
            QCOMPARE(arrived + match.captured(1).toLongLong(), sent);
        }
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("个字节未能送出，已丢弃"), kLast), kRed);
    }

    // Text that would reorder or cut what is drawn comes over the wire: it
    // is drawn in the order it came, on its line, and copied as it came.
    void receivedTextIsDrawnInArrivalOrder()
    {
        const quint16 port = listenOnFreePort();
        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);
        const QString text = QStringLiteral("pay \u202Egnp.exe AAA\u2028BBB \u2067x\u2069");
        client->write(text.toUtf8());
        QTRY_VERIFY(logText(w->TxtMsg).endsWith(text));
        const qint64 from = w->TxtMsg->store().size() - text.size();
        for (qint64 p = from + 1; p < from + text.size(); ++p) {
            const QRect before = w->TxtMsg->characterRect(p - 1), here = w->TxtMsg->characterRect(p);
            QCOMPARE(here.top(), before.top());
            QVERIFY2(here.left() > before.left(), qPrintable(QString::number(p - from)));
        }
    }

    void listenOnPortInUse_data()
    {
        QTest::addColumn<bool>("listenMode");
        QTest::newRow("by the user") << false;
        QTest::newRow("automatic") << true;
    }
    void listenOnPortInUse()
    {
        QFETCH(bool, listenMode);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
        w->ListenMode = listenMode;
        w->TxtLPort->setText(QString::number(holder.serverPort()));
        click(w->CmdLstn);

        const QString line = tail(w->TxtMsg, 1).constFirst();
        const QString head = QStringLiteral("T  启动侦听:%1……").arg(holder.serverPort());
        QVERIFY2(line.startsWith(head) && line.size() > head.size(), qPrintable(line));
        const QString description = line.mid(head.size());
        QVERIFY(description != QStringLiteral("成功") && description != QStringLiteral("失败"));
        QCOMPARE(colourOf(w->TxtMsg, description, kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->ListenMode, listenMode);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
    }

    void peerClosesWhileReceiveWaits()
    {
        // On the real clock the settle lasts a second: the client closes
        // while the window waits in it.
        Clock::install(nullptr);
        const quint16 port = listenOnFreePort();
        auto client = dial(port);
        QTRY_COMPARE(windowRow(w), rows::serving);
        QTRY_COMPARE(client->state(), QAbstractSocket::ConnectedState);

        QTimer closer;
        closer.setInterval(5);
        connect(&closer, &QTimer::timeout, this, [&] {
            if (w->Receiving) {
                client->disconnectFromHost();
                closer.stop();
            }
        });
        closer.start();
        client->write("shown before the end");
        QTRY_VERIFY_WITH_TIMEOUT(w->TxtMsg->logText().contains(QStringLiteral("  通讯结束")), 10000);
        QTRY_VERIFY(!w->Receiving);
        QCOMPARE(w->TxtMsg->logText().count(QStringLiteral("接收")), 1);
        QCOMPARE(tail(w->TxtMsg, 4), (QStringList{"T  接收文本：  shown before the end", "T  通讯结束", "",
                                          QStringLiteral("T  启动侦听:%1……成功").arg(port)}));
        QCOMPARE(windowRow(w), rows::listening);
    }
};

QTEST_MAIN(TstSockbayLoopback)
#include "tst_sockbay_loopback.moc"
