// SPDX-License-Identifier: MIT
// The network tester's window over a fake socket control: every handler's
// log lines, colours, buttons, lamps, focus and flags.
#include "clock.h"
#include "eventqueue.h"
#include "fakewinsock.h"
#include "frozenclock.h"
#include "frmsockbay.h"
#include "guard.h"
#include "lamp.h"
#include "linkerror.h"
#include "logcommands.h"
#include "logmenu.h"
#include "logpane.h"
#include "framedialog.h"
#include "sendboxmenu.h"
#include "timestamp.h"
#include "logreader.h"
#include "savedialog.h"
#include "messagebox.h"
#include "portnumber.h"
#include "windowrow.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QSpinBox>
#include <QCheckBox>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <limits>

using namespace logreader;

namespace {
} // namespace

class TstFrmSockbay : public QObject
{
    Q_OBJECT

    // Seconds pass a hundred times faster: the settle pause takes 10 ms and
    // the connect limit 600 ms.
    ScaledClock m_clock{100.0};
    FrmSockbay *w = nullptr;
    FakeWinsock *sock = nullptr;
    QStringList m_notices;

    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    void connectOut()
    {
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        sock->stateAfterConnect = Winsock::sckConnected;
        click(w->CmdCnn);
        QCOMPARE(windowRow(w), rows::connected);
        sock->calls.clear();
    }
    void listen()
    {
        click(w->CmdLstn);
        QCOMPARE(windowRow(w), rows::listening);
        sock->calls.clear();
    }
    void serve(qint32 id)
    {
        sock->raiseConnectionRequest(id);
        QTRY_COMPARE(windowRow(w), rows::serving);
    }

private slots:
    void initTestCase()
    {
        Clock::install(&m_clock);
        setQuitHook([] {});
        setNoticeHook([this](const QString &text, const QString &) { m_notices << text; });
    }
    void cleanupTestCase() { Clock::install(nullptr); }
    void init()
    {
        sock = new FakeWinsock;
        w = new FrmSockbay(sock);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        m_notices.clear();
    }
    void cleanup()
    {
        delete w;
        w = nullptr;
    }

    // --- the send box ------------------------------------------------------

    void aPasteOrDropThatDoesNotFitIsRefusedWhole()
    {
        // Cut silently, the part that stayed would go out as if meant: a
        // paste or a drop past the box's 512 characters changes nothing and
        // says why; one that fits (in place of a selection too) goes in.
        connectOut();
        QLineEdit *box = w->TxtSend;
        box->setFocus();
        box->setText(QStringLiteral("ab"));
        box->end(false);
        QGuiApplication::clipboard()->setText(QString(511, u'x'));
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), QStringLiteral("ab"));
        QCOMPARE(m_notices, QStringList{QStringLiteral(
                                "粘贴的内容有511个字符，发送框最多容纳512个字符（框中另有2个）：未粘贴，什么也没有发送。")});
        box->selectAll();
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), QString(511, u'x'));
        QCOMPARE(m_notices.size(), 1);

        // The menu's paste keeps the same limit.
        box->setText(QStringLiteral("abc"));
        QGuiApplication::clipboard()->setText(QString(600, u'y'));
        QMenu *menu = w->sendBoxMenu()->makeMenu();
        auto *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"));
        QVERIFY(paste);
        paste->trigger();
        delete menu;
        QCOMPARE(box->text(), QStringLiteral("abc"));
        QCOMPARE(m_notices.size(), 2);
        QVERIFY(m_notices.last().startsWith(QStringLiteral("粘贴的内容有600个字符")));

        // A drop from elsewhere.
        QMimeData mime;
        mime.setText(QString(700, u'z'));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &drop);
        QCOMPARE(box->text(), QStringLiteral("abc"));
        QCOMPARE(m_notices.size(), 3);
        QVERIFY(m_notices.last().startsWith(QStringLiteral("拖入的内容有700个字符")));

        // Typing stops at the limit, as in any box, without a word.
        box->clear();
        QTest::keyClicks(box, QString(520, u'k'));
        QCOMPARE(box->text(), QString(512, u'k'));
        QCOMPARE(m_notices.size(), 3);

        // Nothing of a refused paste went out.
        box->setText(QStringLiteral("abc"));
        click(w->CmdSend);
        QCOMPARE(sock->sent, QList<QByteArray>{"abc"});
    }

    void theSendBoxMenuIsTheBoxsOwnWithHowSendsEnd()
    {
        // A right click (or the Menu key) on the box: its edit actions,
        // then the two choices, each ticked at none, and the quick sends.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), w->TxtSend->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(w->TxtSend, &event);
        QMenu *menu = nullptr;
        for (QMenu *m : w->TxtSend->findChildren<QMenu *>())
            if (m->isVisible())
                menu = m;
        QVERIFY(menu);
        QStringList submenus;
        int editActions = 0;
        for (QAction *a : menu->actions()) {
            if (a->menu()) {
                QString ticked;
                for (QAction *choice : a->menu()->actions())
                    if (choice->isChecked())
                        ticked = choice->text();
                submenus << a->text() + u':' + ticked;
            } else if (!a->isSeparator()) {
                ++editActions;
            }
        }
        menu->close();
        QCOMPARE(submenus, (QStringList{QStringLiteral("行尾:无"), QStringLiteral("校验:无"), QStringLiteral("快捷发送:")}));
        QVERIFY(editActions >= 5); // undo, redo, cut, copy, paste, …
    }

    // F11 on the log (or the log's menu) shows the same log in a window of
    // its own: live, resizable, with the log's menu; closing it, even in a
    // flood, leaves the tool as it was, and a tool closed with it open
    // takes it along.
    void theLogInALargeWindow()
    {
        QVERIFY(!w->largeView());
        w->TxtMsg->setFocus();
        QTest::keyClick(w->TxtMsg, Qt::Key_F11);
        QPointer<QWidget> large = w->largeView();
        QVERIFY(large);
        QVERIFY(large->isWindow() && large->isVisible());
        QVERIFY(!(large->windowFlags() & Qt::MSWindowsFixedSizeDialogHint));
        QVERIFY(large->width() > w->width());
        auto *view = large->findChild<LogPane *>();
        QVERIFY(view);
        QCOMPARE(&view->store(), &w->TxtMsg->store());
        QStringList actions = logmenu::contextMenuActions(view);
        QVERIFY2(actions.contains(QStringLiteral("+查找…")), qPrintable(actions.join(u',')));
        // Asked again, the same window.
        w->showLargeView();
        QCOMPARE(w->largeView(), large.data());

        // A flood, and the window closed in the middle of it.
        for (int i = 0; i < 500; ++i) {
            w->appendEntry(kBlack, QStringLiteral("  flood %1").arg(i));
            if (i == 250)
                large->close();
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_VERIFY(!large);
        QVERIFY(logText(w->TxtMsg).endsWith(QStringLiteral("  flood 499")));
        QCOMPARE(logText(w->TxtMsg).count(QStringLiteral("  flood ")), 500);

        // Open again, and the tool goes with it open.
        w->showLargeView();
        large = w->largeView();
        QVERIFY(large);
        delete w;
        w = nullptr;
        QVERIFY(!large);
    }

    void framingIsChosenInASmallDialog()
    {
        // From the log's menu, as a user does; cancelled, nothing changes.
        QVERIFY(w->findChildren<FrameDialog *>().isEmpty());
        for (const bool accept : {false, true}) {
            logmenu::triggerContextAction(w->TxtMsg, QStringLiteral("接收分帧…"));
            auto *dialog = w->findChild<FrameDialog *>();
            QVERIFY(dialog);
            QCOMPARE(dialog->GapBox->value(), 0);
            QCOMPARE(dialog->GapBox->maximum(), 1000);
            dialog->GapBox->setValue(35);
            dialog->ChkMs->setChecked(true);
            accept ? dialog->accept() : dialog->reject();
            QTRY_VERIFY(w->findChildren<FrameDialog *>().isEmpty()); // gone with its answer
            QCOMPARE(w->frameGap(), accept ? 35 : 0);
            QCOMPARE(stampsCarryMilliseconds(), accept);
        }
        w->setFraming(0, false);
    }

    // --- number rules of the port boxes -----------------------------------

    void normalizePorts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "123" << "123";
        QTest::newRow("empty") << "" << "0";
        QTest::newRow("letters") << "abc" << "0";
        QTest::newRow("blank inside") << "12 3" << "123";
        QTest::newRow("8 blank 0") << "8 0" << "80";
        QTest::newRow("tab and blank") << " 8\t0" << "80";
        QTest::newRow("line feed") << "8\n0" << "80";
        QTest::newRow("carriage return stops") << "1\r2" << "1";
        QTest::newRow("trailing letter") << "80x" << "80";
        QTest::newRow("hex") << "&H50" << "80";
        QTest::newRow("hex lower case") << "&hff" << "255";
        QTest::newRow("octal") << "&O17" << "15";
        QTest::newRow("ampersand alone") << "&" << "0";
        QTest::newRow("hex without digits") << "&Hx" << "0";
        QTest::newRow("fraction") << "1.5" << "1.5";
        QTest::newRow("second point stops") << "1.2.3" << "1.2";
        QTest::newRow("leading point") << "-.5" << "-0.5";
        QTest::newRow("trailing point") << "80." << "80";
        QTest::newRow("exponent form") << "9E99" << "9E+99";
        QTest::newRow("exponent lower case") << "1e3" << "1000";
        QTest::newRow("exponent D") << "1D2" << "100";
        QTest::newRow("bare exponent") << "5E" << "5";
        QTest::newRow("small") << "1e-5" << "1E-05";
        QTest::newRow("minus") << "-1" << "-1";
        QTest::newRow("plus") << "+7" << "7";
        QTest::newRow("two signs") << "--5" << "0";
        QTest::newRow("leading zero") << "0123" << "123";
        QTest::newRow("longer than typed") << "123E9" << "123000000000";
        QTest::newRow("more digits than typed") << ".0001" << "0.0001";
        QTest::newRow("beyond 15 digits") << "12E14" << "1.2E+15";
    }
    void normalizePorts()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        const QString address = w->TxtRIP->text();
        w->TxtLPort->setText(typed);
        w->TxtRPort->setText(typed);
        w->NormalizePorts();
        QCOMPARE(w->TxtLPort->text(), shown);
        QCOMPARE(w->TxtRPort->text(), shown);
        QCOMPARE(w->TxtRIP->text(), address);
    }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("15 digits") << 999999999999999.0 << "999999999999999";
        QTest::newRow("1E15") << 1e15 << "1E+15";
        QTest::newRow("rounded to 15 digits") << 123456789012345678.0 << "1.23456789012346E+17";
        QTest::newRow("rounding carries") << 9999999999999999.0 << "1E+16";
        QTest::newRow("0.0001") << 0.0001 << "0.0001";
        QTest::newRow("0.00001") << 0.00001 << "1E-05";
        QTest::newRow("small with digits") << 0.0000123 << "1.23E-05";
        QTest::newRow("three-digit exponent") << 1.5e100 << "1.5E+100";
        QTest::newRow("tiny") << 1e-300 << "1E-300";
        QTest::newRow("binary noise hidden") << 0.1 + 0.2 << "0.3";
        QTest::newRow("two thirds") << 2.0 / 3.0 << "0.666666666666667";
        QTest::newRow("negative fraction") << -1234.5 << "-1234.5";
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(::numberText(value), text);
    }

    void leadingNumberLimits()
    {
        // Radix values are 16-bit, or 32-bit when they need more, and signed.
        QCOMPARE(leadingNumber(QStringLiteral("&HFFFF")), -1.0);
        QCOMPARE(leadingNumber(QStringLiteral("&H10000")), 65536.0);
        QCOMPARE(leadingNumber(QStringLiteral("&HFFFFFFFF")), -1.0);
        QCOMPARE(leadingNumber(QStringLiteral("&O177777")), -1.0);
        QCOMPARE(leadingNumber(QStringLiteral("1E-999")), 0.0);
        // What five typed characters can form never fails to read.
        QCOMPARE(leadingNumber(QStringLiteral("9E999")), std::numeric_limits<double>::max());
        QCOMPARE(leadingNumber(QStringLiteral("-9D999")), -std::numeric_limits<double>::max());
        QCOMPARE(leadingNumber(QStringLiteral("&H100000000")), 4294967296.0);
        QCOMPARE(::numberText(leadingNumber(QStringLiteral("9E999"))), QStringLiteral("1.79769313486232E+308"));
        // Digits beyond a double's range (a rewrite may hold any length),
        // hexadecimal and octal alike: the largest double, never "inf".
        for (const QString &huge : {QStringLiteral("&H") + QString(300, u'F'), QStringLiteral("&O") + QString(400, u'7')}) {
            QCOMPARE(leadingNumber(huge), std::numeric_limits<double>::max());
            QCOMPARE(::numberText(leadingNumber(huge)), QStringLiteral("1.79769313486232E+308"));
        }
    }

    void toLong_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("whole") << "8080" << qint64(8080) << "";
        QTest::newRow("half rounds to even, down") << "2.5" << qint64(2) << "";
        QTest::newRow("half rounds to even, up") << "3.5" << qint64(4) << "";
        QTest::newRow("1.5") << "1.5" << qint64(2) << "";
        QTest::newRow("negative half") << "-2.5" << qint64(-2) << "";
        QTest::newRow("below half") << "2.49" << qint64(2) << "";
        QTest::newRow("largest") << "2147483647" << qint64(2147483647) << "";
        QTest::newRow("smallest") << "-2147483648" << qint64(-2147483648LL) << "";
        QTest::newRow("one beyond") << "2147483648" << qint64(0) << "Overflow";
        QTest::newRow("rounds beyond") << "2147483647.5" << qint64(0) << "Overflow";
        QTest::newRow("exponent form") << "9E+99" << qint64(0) << "Overflow";
        QTest::newRow("hex") << "&H50" << qint64(80) << "";
        QTest::newRow("empty") << "" << qint64(0) << "Type mismatch";
        QTest::newRow("letters") << "abc" << qint64(0) << "Type mismatch";
    }
    void toLong()
    {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QFETCH(QString, error);
        try {
            const qint32 got = ::toLong(text);
            QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("no error, got %1").arg(got)));
            QCOMPARE(qint64(got), value);
        } catch (const LinkError &e) {
            QCOMPARE(e.description(), error);
        }
    }

    void typedPortStaysWithinLimitAfterLongRewrite()
    {
        w->TxtLPort->setText(QStringLiteral("123E9"));
        w->NormalizePorts();
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("123000000000"));
        w->TxtLPort->setEnabled(true);
        w->TxtLPort->setFocus();
        w->TxtLPort->end(false);
        QTest::keyClick(w->TxtLPort, Qt::Key_5);
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("123000000000"));
        QTest::keyClick(w->TxtLPort, Qt::Key_Backspace);
        QTest::keyClick(w->TxtLPort, Qt::Key_5);
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("12300000000"));
        w->TxtLPort->selectAll();
        QTest::keyClicks(w->TxtLPort, QStringLiteral("8080123"));
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("80801"));
    }

    // --- the window at start ----------------------------------------------

    void startsIdleWithOneLine()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("IP通讯测试(Quelt)"));
        QCOMPARE(shapedLines(w->TxtMsg), QStringList{QStringLiteral("T  启动程序，本地IP：10.1.2.3  机器名：fakehost")});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("启动程序"), kLast), kBlack);
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("fakehost"), kLast), kBlack);
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("123"));
        QCOMPARE(w->TxtRPort->text(), QStringLiteral("321"));
        QCOMPARE(windowRow(w), rows::idle);
        QVERIFY(!w->ShpSend->isLit() && !w->ShpArrv->isLit());
        QVERIFY(!w->ListenMode && !w->ErrorReported && !w->Receiving);
        QVERIFY(w->OptSend[0]->isChecked() && w->OptArrv[0]->isChecked());
        QVERIFY(sock->calls.isEmpty()); // the load sets nothing on the control

        // The remote address is a private one, so an unchanged box never
        // reaches out beyond the local network.
        const QStringList quad = w->TxtRIP->text().split(u'.');
        QCOMPARE(quad.size(), 4);
        const int a = quad[0].toInt(), b = quad[1].toInt();
        QVERIFY2(a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168), qPrintable(w->TxtRIP->text()));
    }

    void stateTableShowsEachRowAsGiven_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("shown");
        QTest::newRow("idle") << 0 << rows::idle;
        QTest::newRow("connecting") << 1 << rows::connecting;
        QTest::newRow("connected") << 2 << rows::connected;
        QTest::newRow("listening") << 3 << rows::listening;
        QTest::newRow("serving") << 4 << rows::serving;
    }

    void stateTableShowsEachRowAsGiven()
    {
        QFETCH(int, state);
        QFETCH(QString, shown);
        const ToolState table[] = {ToolStates::Idle, ToolStates::Connecting, ToolStates::Connected,
                                   ToolStates::Listening, ToolStates::Serving};
        // From a row that differs in every column, so each one is set.
        w->applyToolState(ToolState{true, true, true, true, true, true, true, true});
        w->applyToolState(table[state]);
        QCOMPARE(windowRow(w), shown);
        w->applyToolState(ToolState{});
        w->applyToolState(table[state]);
        QCOMPARE(windowRow(w), shown);
    }

    void screenReadersHearEachControlByItsName()
    {
        const auto name = [](QObject *o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
        QCOMPARE(name(w->TxtLPort), QStringLiteral("本地端口："));
        QCOMPARE(name(w->TxtRPort), QStringLiteral("远程端口："));
        QCOMPARE(name(w->TxtRIP), QStringLiteral("远程地址："));
        QCOMPARE(name(w->TxtSend), QStringLiteral("内容："));
        QCOMPARE(name(w->TxtMsg), QStringLiteral("信息"));

        // A lamp: named by its tooltip, its state said in words.
        QAccessibleInterface *lamp = QAccessible::queryAccessibleInterface(w->ShpLstn);
        QCOMPARE(lamp->text(QAccessible::Name), QStringLiteral("侦听指示"));
        QCOMPARE(lamp->role(), QAccessible::Indicator);
        QCOMPARE(lamp->text(QAccessible::Description), QStringLiteral("灭"));
        QVERIFY(!lamp->state().checked);
        listen();
        QCOMPARE(lamp->text(QAccessible::Description), QStringLiteral("亮"));
        QVERIFY(lamp->state().checked);
        QCOMPARE(QAccessible::queryAccessibleInterface(w->ShpCnn)->text(QAccessible::Name), QStringLiteral("连接指示"));
    }

    void typingIsLimited()
    {
        const struct { QLineEdit *box; int limit; } boxes[] = {{w->TxtLPort, 5}, {w->TxtRPort, 5}, {w->TxtRIP, 253}, {w->TxtSend, 512}};
        for (const auto &b : boxes) {
            b.box->clear();
            b.box->setFocus();
            QTest::keyClicks(b.box, QString(b.limit + 3, u'1'));
            QCOMPARE(b.box->text().size(), b.limit);
        }
    }

    void tabOrder()
    {
        const QList<QWidget *> expected = {w->TxtLPort, w->TxtRPort, w->TxtRIP, w->CmdLstn, w->CmdStop, w->CmdCnn,
                                           w->CmdSend, w->CmdClose, w->CmdClear, w->CmdQuit, w->OptSend[0], w->OptSend[1],
                                           w->TxtSend, w->OptArrv[0], w->OptArrv[1], w->TxtMsg};
        QList<QWidget *> seen;
        QWidget *at = w->TxtLPort;
        for (int guard = 0; guard < 200 && seen.size() < expected.size(); ++guard, at = at->nextInFocusChain()) {
            if (expected.contains(at) && !seen.contains(at))
                seen << at;
        }
        QCOMPARE(seen, expected);
        for (QGroupBox *frame : {w->FrmSet, w->Frame1, w->Frame2, w->Frame3})
            QCOMPARE(frame->focusPolicy(), Qt::NoFocus);
    }

    void enterPressesFocusedButtonOnly()
    {
        // No default button: Enter in a text box sends nothing.
        sock->state = Winsock::sckConnected;
        w->CmdSend->setEnabled(true);
        w->TxtSend->setFocus();
        QTest::keyClick(w->TxtSend, Qt::Key_Return);
        QVERIFY(sock->sent.isEmpty());
        w->CmdSend->setFocus();
        QTest::keyClick(w->CmdSend, Qt::Key_Return);
        QCOMPARE(sock->sent.size(), 1);
    }

    // --- connect and hang up ----------------------------------------------

    void connectSucceeds()
    {
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        w->TxtRPort->setText(QStringLiteral("0321"));
        QString rowDuringWait;
        sock->onConnect = [this, &rowDuringWait] {
            QTimer::singleShot(30, sock, [this, &rowDuringWait] {
                rowDuringWait = windowRow(w);
                sock->state = Winsock::sckConnected;
            });
        };
        click(w->CmdCnn);

        QCOMPARE(rowDuringWait, rows::connecting);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:321……成功")});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  连接"), kLast), kBlack);
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("成功"), kLast), kBlue);
        QCOMPARE(windowRow(w), rows::connected);
        QCOMPARE(w->focusWidget(), w->CmdSend);
        QCOMPARE(w->TxtRPort->text(), QStringLiteral("321"));
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 0", "Connect 127.0.0.1 321"}));
    }

    void connectReportedBeforeTheGreetingThatFollowsIt()
    {
        // A server that greets on accept: its data is queued right behind
        // the connection, and must come after "成功" on the log. (Real time,
        // so that the wait's polls are as far apart as in use.)
        ScaledClock realTime(1.0);
        Clock::install(&realTime);
        auto restore = qScopeGuard([this] { Clock::install(&m_clock); });
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        sock->onConnect = [this] {
            QTimer::singleShot(20, sock, [this] {
                sock->state = Winsock::sckConnected;
                sock->inBuffer = "220 hello";
                sock->raiseDataArrival();
            });
        };
        click(w->CmdCnn);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:321……成功")});
        QCOMPARE(windowRow(w), rows::connected);
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  接收文本：  220 hello")});
    }

    void connectGivesUpAfterSixtySeconds()
    {
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        QString rowDuringWait;
        QTimer::singleShot(50, w, [this, &rowDuringWait] { rowDuringWait = windowRow(w); });
        const qint64 started = Clock::current().nowMs();
        QElapsedTimer wall;
        wall.start();
        const std::clock_t cpuStarted = std::clock();
        click(w->CmdCnn);
        const qint64 waited = Clock::current().nowMs() - started;
        const double cpuMs = double(std::clock() - cpuStarted) * 1000.0 / CLOCKS_PER_SEC;

        QVERIFY2(waited >= 60000 && waited < 90000, qPrintable(QString::number(waited)));
        // The wait sleeps between looks at the state instead of spinning.
        QVERIFY2(cpuMs < 0.5 * double(wall.elapsed()), qPrintable(QStringLiteral("cpu %1 ms of %2 ms").arg(cpuMs).arg(wall.elapsed())));
        QCOMPARE(rowDuringWait, rows::connecting);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:321……失败")});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("失败"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        // Given up by a close in the wait, then closed again with the failure.
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 0", "Connect 127.0.0.1 321", "Close", "Close"}));
    }

    void connectRaises()
    {
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        w->TxtRPort->setText(QStringLiteral("9E99"));
        sock->failConnectWith = QStringLiteral("无效的端口号");
        click(w->CmdCnn);

        QCOMPARE(tail(w->TxtMsg, 1), QStringList{QStringLiteral("T  连接127.0.0.1:9E+99……无效的端口号")});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("无效的端口号"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 0", "Connect 127.0.0.1 9E+99", "Close"}));
        QVERIFY(!w->ListenMode);
    }

    void errorEventDuringConnectWait()
    {
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        sock->onConnect = [this] { sock->raiseError(10061, QStringLiteral("连接被拒绝")); };
        click(w->CmdCnn);

        QCOMPARE(tail(w->TxtMsg, 4), (QStringList{"T  连接127.0.0.1:321……", "T  通讯错误：连接被拒绝", "T  通讯结束", ""}));
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  通讯错误：连接被拒绝"), kLast), kRed);
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  通讯结束"), kLast), kBlack);
        QVERIFY(!w->TxtMsg->logText().contains(QStringLiteral("失败")));
        QCOMPARE(windowRow(w), rows::idle);
        QVERIFY(w->ErrorReported);
    }

    void peerClosesDuringConnectWait()
    {
        // The close's own lines come first; the connect then finds no
        // connection and appends its failure after them.
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        sock->onConnect = [this] { sock->raiseClose(); };
        click(w->CmdCnn);
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  连接127.0.0.1:321……", "T  通讯结束", "失败"}));
        QCOMPARE(windowRow(w), rows::idle);
    }

    void peerClosesDuringConnectWaitWhileListenModeIsSet()
    {
        // An automatic listen that failed earlier leaves ListenMode set; the
        // close handled during the wait listens again, and the connect must
        // not close that listener behind the window's back.
        w->ListenMode = true;
        w->TxtRIP->setText(QStringLiteral("127.0.0.1"));
        sock->onConnect = [this] { sock->raiseClose(); };
        click(w->CmdCnn);
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  通讯结束", "", "T  启动侦听:123……成功"}));
        QVERIFY(!w->TxtMsg->logText().contains(QStringLiteral("失败")));
        QCOMPARE(sock->state, int(Winsock::sckListening));
        QCOMPARE(windowRow(w), rows::listening);
    }

    void hangUpOutgoing()
    {
        connectOut();
        click(w->CmdClose);
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  挂断连接", ""}));
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdCnn);
        QCOMPARE(sock->calls, QStringList{"Close"});
    }

    void hangUpAcceptedListensAgain()
    {
        listen();
        serve(42);
        QCOMPARE(sock->calls, (QStringList{"Close", "Accept 42"}));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  接受连接请求"});
        QVERIFY(w->ListenMode);

        click(w->CmdClose);
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  挂断连接", "", "T  启动侦听:123……成功"}));
        QCOMPARE(windowRow(w), rows::listening);
        QCOMPARE(w->focusWidget(), w->CmdStop);
    }

    // --- listen, stop and accept ------------------------------------------

    void acceptRefusedListensOn()
    {
        listen();
        sock->failAcceptWith = QStringLiteral("没有该连接请求");
        sock->raiseConnectionRequest(5);
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("没有该连接请求")));
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  接受连接请求没有该连接请求", "T  启动侦听:123……成功"}));
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("没有该连接请求"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::listening);
    }

    void listenSucceeds()
    {
        w->TxtLPort->setText(QStringLiteral("0123"));
        click(w->CmdLstn);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:123……成功"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("成功"), kLast), kBlue);
        QCOMPARE(windowRow(w), rows::listening);
        QCOMPARE(w->focusWidget(), w->CmdStop);
        QVERIFY(w->ListenMode);
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 123", "Listen"}));
    }

    void listenEndsInWrongState()
    {
        w->ListenMode = true;
        sock->stateAfterListen = Winsock::sckClosed;
        click(w->CmdLstn);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:123……失败"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("失败"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        QVERIFY(!w->ListenMode);
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 123", "Listen", "Close"}));
    }

    void listenRaises_data()
    {
        QTest::addColumn<bool>("listenMode");
        QTest::newRow("by the user") << false;
        QTest::newRow("automatic") << true;
    }
    void listenRaises()
    {
        QFETCH(bool, listenMode);
        w->ListenMode = listenMode;
        sock->failListenWith = QStringLiteral("地址已被使用");
        click(w->CmdLstn);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:123……地址已被使用"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("地址已被使用"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        QCOMPARE(w->ListenMode, listenMode);
        QCOMPARE(sock->calls, (QStringList{"Close", "LocalPort 123", "Listen", "Close"}));

        // With the flag still set, the end of a later outgoing connection
        // listens again.
        sock->failListenWith.clear();
        connectOut();
        sock->raiseClose();
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("  通讯结束")));
        if (listenMode) {
            QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  通讯结束", "", "T  启动侦听:123……成功"}));
            QCOMPARE(windowRow(w), rows::listening);
        } else {
            QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  通讯结束", ""}));
            QCOMPARE(windowRow(w), rows::idle);
        }
    }

    // The line names the port tried, and once listening the port bound;
    // the box then shows that port too.
    void listenPortConversion_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<int>("port"); // -1000: conversion refused
        QTest::newRow("whole") << "8080" << "8080" << 8080;
        QTest::newRow("half down to even") << "2.5" << "2" << 2;
        QTest::newRow("half up to even") << "3.5" << "4" << 4;
        QTest::newRow("1.5") << "1.5" << "2" << 2;
        QTest::newRow("hex") << "&HFFF" << "4095" << 4095;
        QTest::newRow("negative passes to the control") << "-1" << "-1" << -1;
        QTest::newRow("zero: the system picks") << "0" << "47001" << 47001;
        QTest::newRow("no number: the system picks") << "abc" << "47001" << 47001;
        QTest::newRow("empty: the system picks") << "" << "47001" << 47001;
        QTest::newRow("beyond 32 bits") << "9E99" << "9E+99" << -1000;
    }
    void listenPortConversion()
    {
        QFETCH(QString, typed);
        QFETCH(QString, logged);
        QFETCH(int, port);
        sock->portPickedBySystem = 47001;
        w->TxtLPort->setText(typed);
        click(w->CmdLstn);
        if (port != -1000) {
            QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:" + logged + "……成功"});
            QCOMPARE(sock->localPort, port);
            QCOMPARE(w->TxtLPort->text(), logged);
            return;
        }
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:" + logged + "……Overflow"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("Overflow"), kLast), kRed);
        QVERIFY(!sock->calls.contains(QStringLiteral("Listen")));
        QCOMPARE(windowRow(w), rows::idle);
    }

    void listeningAgainUsesTheBoundPort()
    {
        // A port the system picked stays the tool's after each connection:
        // its clients can come back to it.
        sock->portPickedBySystem = 47001;
        w->TxtLPort->setText(QStringLiteral("0"));
        click(w->CmdLstn);
        serve(3);
        sock->portPickedBySystem = 47999;
        sock->raiseClose();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:47001……成功"});
        QCOMPARE(sock->localPort, 47001);
    }

    void portBeyondNumberRange()
    {
        // Five typed characters can go beyond a double: the box reads as the
        // largest one, the attempt line shows it, and the conversion to a
        // port number fails on that line.
        w->TxtLPort->setText(QStringLiteral("9E999"));
        click(w->CmdLstn);
        QCOMPARE(w->TxtLPort->text(), QStringLiteral("1.79769313486232E+308"));
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  启动侦听:1.79769313486232E+308……Overflow"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("Overflow"), kLast), kRed);
        QVERIFY(!sock->calls.contains(QStringLiteral("Listen")));
        QCOMPARE(windowRow(w), rows::idle);
    }

    void refusedRequestIsLogged()
    {
        listen();
        sock->raiseRequestRefused(QStringLiteral("[::1]:40181"));
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  拒绝连接请求：[::1]:40181，已断开"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("拒绝连接请求"), kLast), kBlack);
        QCOMPARE(windowRow(w), rows::listening);
    }

    void stopListening()
    {
        listen();
        click(w->CmdStop);
        QCOMPARE(tail(w->TxtMsg, 2), (QStringList{"T  停止侦听", ""}));
        QCOMPARE(windowRow(w), rows::idle);
        QCOMPARE(w->focusWidget(), w->CmdLstn);
        QVERIFY(!w->ListenMode);
        QCOMPARE(sock->calls, QStringList{"Close"});

        // A later close does not start listening.
        connectOut();
        sock->raiseClose();
        QTRY_COMPARE(tail(w->TxtMsg, 2), (QStringList{"T  通讯结束", ""}));
        QCOMPARE(windowRow(w), rows::idle);
    }

    // --- socket events ----------------------------------------------------

    void dataArrivalIsCollectedOnce_data()
    {
        QTest::addColumn<bool>("bytes");
        QTest::addColumn<QString>("entry");
        QTest::newRow("text") << false << "T  接收文本：  hello";
        QTest::newRow("bytes") << true << "T  接收数据：  68  65  6C  6C  6F";
    }
    void dataArrivalIsCollectedOnce()
    {
        QFETCH(bool, bytes);
        QFETCH(QString, entry);
        connectOut();
        w->OptArrv[bytes ? 1 : 0]->setChecked(true);
        sock->inBuffer = "hel";
        bool lampLitWhileSettling = false;
        // More of the burst lands while the handler settles, with an event
        // of its own: still one entry.
        sock->onPoll = [this, &lampLitWhileSettling] {
            lampLitWhileSettling = w->ShpArrv->isLit();
            sock->inBuffer += "lo";
            sock->raiseDataArrival();
        };
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{entry});
        deliverQueuedEvents();
        QCOMPARE(w->TxtMsg->logText().count(QStringLiteral("接收")), 1);
        QVERIFY(lampLitWhileSettling);
        QVERIFY(!w->Receiving);
        QTRY_VERIFY(!w->ShpArrv->isLit());
    }

    void fullConnectionEndsTheSettle()
    {
        // On a clock that never moves only a connection that holds all it
        // can ends the settle; one already full is read before any other
        // event is handled.
        FrozenClock frozen;
        Clock::install(&frozen);
        connectOut();
        sock->readBufferSize = 6;
        sock->inBuffer = "hel";
        // The rest lands while the handler settles, with an event of its own.
        sock->onPoll = [this] {
            QMetaObject::invokeMethod(w, [this] {
                sock->inBuffer += "lo!";
                sock->raiseDataArrival();
            }, Qt::QueuedConnection);
        };
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  hello!"});
        QTRY_VERIFY(!w->Receiving);

        sock->inBuffer = "again!";
        bool otherEventRan = false;
        QMetaObject::invokeMethod(w, [&] { otherEventRan = true; }, Qt::QueuedConnection);
        w->Winsock1_DataArrival(6);
        QVERIFY(!otherEventRan);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  again!"});
        Clock::install(&m_clock);
    }

    // --- saving the log and what was received ----------------------------

    void savedLogReadsAsCopiedAndKeepsColours()
    {
        QTemporaryDir dir;
        connectOut();
        sock->inBuffer = QByteArray("<b>héllo</b> & \0end", 20);
        sock->raiseDataArrival();
        QTRY_VERIFY(!w->Receiving && w->TxtMsg->logText().contains(QStringLiteral("end")));
        sock->raiseError(10054, QStringLiteral("reset"));
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("通讯结束")));

        // As text: exactly what Ctrl+A, Ctrl+C gives; through Ctrl+S.
        QString asked;
        setSavePathHook([&](const QString &title, const QString &, const QString &filter, QString *chosen) {
            asked = title + u'|' + filter;
            *chosen = filter.section(QStringLiteral(";;"), 0, 0);
            return dir.filePath(QStringLiteral("log.txt"));
        });
        w->TxtMsg->setFocus();
        QTest::keyClick(w->TxtMsg, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(asked.startsWith(QStringLiteral("保存信息|")));
        QTest::keyClick(w->TxtMsg, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(w->TxtMsg, Qt::Key_C, Qt::ControlModifier);
        QFile text(dir.filePath(QStringLiteral("log.txt")));
        QVERIFY(text.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(text.readAll()), QGuiApplication::clipboard()->text());

        // As a page: the colours stay, the text is never markup.
        setSavePathHook([&](const QString &, const QString &, const QString &filter, QString *chosen) {
            *chosen = filter.section(QStringLiteral(";;"), 1, 1);
            return dir.filePath(QStringLiteral("log.page"));
        });
        w->logCommands()->saveLog();
        QFile page(dir.filePath(QStringLiteral("log.page")));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        QVERIFY2(html.contains(QStringLiteral("<span style=\"color:#0000ff\">成功</span>")), qPrintable(html));
        QVERIFY2(html.contains(QRegularExpression(QStringLiteral("<span style=\"color:#ff0000\">[^<]*  通讯错误：reset</span>"))),
                 qPrintable(html));
        QVERIFY(html.contains(QStringLiteral("&lt;b&gt;h\u00e9llo&lt;/b&gt; &amp; \u2400end")));
        QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")) && html.contains(QStringLiteral("charset=\"utf-8\"")));
        QVERIFY(m_notices.isEmpty());
        setSavePathHook(nullptr);
    }

    void saveThatCannotBeWrittenSaysSoAndLeavesNothing()
    {
        // A folder that cannot be written, even by root: its "folder" is a
        // plain file.
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString path = dir.filePath(QStringLiteral("plain/log.txt"));
        setSavePathHook([&](const QString &, const QString &, const QString &, QString *) { return path; });
        w->logCommands()->saveLog();
        w->saveReceived();
        setSavePathHook(nullptr);
        QCOMPARE(m_notices.size(), 2);
        QVERIFY2(m_notices.at(0).startsWith(QStringLiteral("保存失败：") + path), qPrintable(m_notices.at(0)));
        QVERIFY(!QFile::exists(path));
        // Cancelled: nothing is asked again and nothing is written.
        setSavePathHook([](const QString &, const QString &, const QString &, QString *) { return QString(); });
        w->logCommands()->saveLog();
        setSavePathHook(nullptr);
        QCOMPARE(m_notices.size(), 2);
    }

    void receivedBytesAreSavedAsTheyCame()
    {
        QTemporaryDir dir;
        connectOut();
        // A character cut between reads, bytes that are not UTF-8, a NUL,
        // then a switch to byte mode: the capture is the bytes themselves.
        const QByteArray first("ab\xE4\xB8", 4), second("\xAD\xFF\0cd", 5), third("\x01\x02\xE4", 3);
        for (const QByteArray &part : {first, second}) {
            sock->inBuffer = part;
            sock->raiseDataArrival();
            QTRY_VERIFY(!w->Receiving);
            deliverQueuedEvents();
        }
        w->OptArrv[1]->setChecked(true);
        sock->inBuffer = third;
        sock->raiseDataArrival();
        QTRY_VERIFY(w->TxtMsg->logText().endsWith(QStringLiteral("  1  2  E4")));
        QTRY_VERIFY(!w->Receiving);
        const QString path = dir.filePath(QStringLiteral("capture.bin"));
        setSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
            return title == QStringLiteral("保存接收数据") ? path : QString();
        });
        // Through the log's context menu, as a user does.
        QMenu *menu = nullptr;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), w->TxtMsg->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(w->TxtMsg->viewport(), &event);
        menu = w->TxtMsg->findChild<QMenu *>();
        QVERIFY(menu);
        QAction *save = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == QStringLiteral("保存接收数据…"))
                save = a;
        QVERIFY(save);
        save->trigger();
        delete menu;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), first + second + third);
        file.close();

        // A clear starts the capture again.
        w->CmdClear_Click();
        sock->inBuffer = "new";
        sock->raiseDataArrival();
        QTRY_VERIFY(!w->Receiving && w->TxtMsg->logText().contains(QStringLiteral("6E  65  77")));
        w->saveReceived();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("new"));
        setSavePathHook(nullptr);
    }

    void receivedBytesListing()
    {
        connectOut();
        w->OptArrv[1]->setChecked(true);
        sock->inBuffer = QByteArray("AB\0\xff\r", 5);
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收数据：  41  42  0  FF  D"});
    }

    void arrivalWithNothingWaiting()
    {
        connectOut();
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  "});
    }

    void peerClosesDuringSettle_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("outgoing") << false;
        QTest::newRow("accepted") << true;
    }
    void peerClosesDuringSettle()
    {
        QFETCH(bool, accepted);
        if (accepted) {
            listen();
            serve(7);
        } else {
            connectOut();
        }
        sock->inBuffer = "kept";
        sock->onPoll = [this] { sock->raiseClose(); };
        sock->raiseDataArrival();
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("  通讯结束")));
        QTRY_VERIFY(!w->Receiving);
        // The data stands once, before the closing line; the settling
        // collection then finds the connection gone and writes nothing.
        QCOMPARE(w->TxtMsg->logText().count(QStringLiteral("接收")), 1);
        if (accepted) {
            QCOMPARE(tail(w->TxtMsg, 4), (QStringList{"T  接收文本：  kept", "T  通讯结束", "", "T  启动侦听:123……成功"}));
            QCOMPARE(windowRow(w), rows::listening);
        } else {
            QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  接收文本：  kept", "T  通讯结束", ""}));
            QCOMPARE(windowRow(w), rows::idle);
            QCOMPARE(w->focusWidget(), w->CmdLstn);
        }
    }

    void socketErrorWhileConnected_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("outgoing") << false;
        QTest::newRow("accepted") << true;
    }
    void socketErrorWhileConnected()
    {
        QFETCH(bool, accepted);
        if (accepted) {
            listen();
            serve(9);
        } else {
            connectOut();
        }
        sock->raiseError(10053, QStringLiteral("连接被中止"));
        QTRY_VERIFY(w->TxtMsg->logText().contains(QStringLiteral("  通讯结束")));
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  通讯错误：连接被中止"), kLast), kRed);
        QVERIFY(w->ErrorReported);
        if (accepted) {
            QCOMPARE(tail(w->TxtMsg, 4), (QStringList{"T  通讯错误：连接被中止", "T  通讯结束", "", "T  启动侦听:123……成功"}));
            QCOMPARE(windowRow(w), rows::listening);
        } else {
            QCOMPARE(tail(w->TxtMsg, 3), (QStringList{"T  通讯错误：连接被中止", "T  通讯结束", ""}));
            QCOMPARE(windowRow(w), rows::idle);
        }
    }

    // Whatever ends the connection, what it delivered stands once, before
    // the line that ends it: waiting when the end comes, or arriving with a
    // collection still settling.
    void everyEndLogsWhatCameFirst_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("settling");
        QTest::addColumn<QStringList>("lines");
        const QStringList hangUp{"T  接收文本：  bye", "T  挂断连接", ""};
        const QStringList closed{"T  接收文本：  bye", "T  通讯结束", ""};
        const QStringList error{"T  接收文本：  bye", "T  通讯错误：Connection reset by peer", "T  通讯结束", ""};
        for (bool settling : {false, true}) {
            const char *when = settling ? "settling" : "waiting";
            QTest::addRow("hang-up, %s", when) << "hang-up" << settling << hangUp;
            QTest::addRow("peer close, %s", when) << "close" << settling << closed;
            QTest::addRow("error, %s", when) << "error" << settling << error;
        }
    }
    void everyEndLogsWhatCameFirst()
    {
        QFETCH(QString, end);
        QFETCH(bool, settling);
        QFETCH(QStringList, lines);
        connectOut();
        auto finish = [this, end] {
            if (end == QStringLiteral("hang-up"))
                QMetaObject::invokeMethod(w->CmdClose, "click", Qt::QueuedConnection);
            else if (end == QStringLiteral("close"))
                sock->raiseClose();
            else
                sock->raiseError(10054, QStringLiteral("Connection reset by peer"));
        };
        sock->inBuffer = "bye";
        if (settling) {
            sock->onPoll = finish;
            sock->raiseDataArrival();
        } else {
            finish();
        }
        QTRY_COMPARE(windowRow(w), rows::idle);
        QTRY_VERIFY(!w->Receiving);
        deliverQueuedEvents();
        QCOMPARE(tail(w->TxtMsg, int(lines.size())), lines);
        QCOMPARE(w->TxtMsg->logText().count(QStringLiteral("接收")), 1);
    }

    // A character cut by the last read shows as U+FFFD at the end; bytes
    // held for it lead the listing after a switch to bytes.
    void heldCharacterAtTheEnd_data()
    {
        QTest::addColumn<bool>("bytes");
        QTest::newRow("text") << false;
        QTest::newRow("bytes") << true;
    }
    void heldCharacterAtTheEnd()
    {
        QFETCH(bool, bytes);
        connectOut();
        sock->inBuffer = "\xE4\xBD";
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  "});
        QTRY_VERIFY(!w->Receiving);
        if (bytes)
            w->OptArrv[1]->setChecked(true);
        sock->raiseClose();
        QTRY_COMPARE(windowRow(w), rows::idle);
        const QString last = bytes ? QStringLiteral("T  接收数据：  E4  BD") : QStringLiteral("T  接收文本：  \uFFFD");
        QCOMPARE(tail(w->TxtMsg, 3), (QStringList{last, "T  通讯结束", ""}));
    }

    void sendProgressFlashesSendLamp()
    {
        connectOut();
        click(w->CmdSend);
        QVERIFY(!w->ShpSend->isLit()); // the send itself lights nothing
        emit sock->SendProgress(10, 0);
        QVERIFY(w->ShpSend->isLit());
        QTRY_VERIFY(!w->ShpSend->isLit());
    }

    // --- sending ----------------------------------------------------------

    void sendWithLinkDownDoesNothing_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("closed") << int(Winsock::sckClosed);
        QTest::newRow("listening") << int(Winsock::sckListening);
        QTest::newRow("connecting") << int(Winsock::sckConnecting);
        QTest::newRow("error") << int(Winsock::sckError);
    }
    void sendWithLinkDownDoesNothing()
    {
        QFETCH(int, state);
        sock->state = state;
        const QString before = w->TxtMsg->logText();
        for (const QString &text : {QStringLiteral("hello"), QString()}) {
            w->TxtSend->setText(text);
            w->CmdSend_Click();
        }
        QVERIFY(sock->sent.isEmpty());
        QVERIFY(m_notices.isEmpty());
        QCOMPARE(w->TxtMsg->logText(), before);
    }

    void sendTextAndBytes()
    {
        connectOut();
        w->TxtSend->setText(QStringLiteral("  hello world  "));
        click(w->CmdSend);
        QCOMPARE(sock->sent, QList<QByteArray>{"hello world"});
        QCOMPARE(sock->sentAsText, QList<bool>{true});
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  发送文本：  hello world"});

        w->OptSend[1]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("41 42 ff"));
        click(w->CmdSend);
        QCOMPARE(sock->sent.last(), QByteArray("\x41\x42\xff"));
        QCOMPARE(sock->sentAsText.last(), false);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  发送数据：  41  42  FF"});

        w->TxtSend->setText(QStringLiteral("   "));
        click(w->CmdSend);
        QCOMPARE(m_notices, QStringList{QStringLiteral("请输入发送内容！")});
        QCOMPARE(w->focusWidget(), w->TxtSend);
        QCOMPARE(sock->sent.size(), 2);
    }

    void earlierSendsComeBackWithUpAndDown()
    {
        connectOut();
        for (const char *text : {"first", "second", "third"}) {
            w->TxtSend->setText(QString::fromLatin1(text));
            click(w->CmdSend);
        }
        // Refused or empty sends are not recalled.
        w->OptSend[1]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("1 ").repeated(256)); // more than 255 bytes
        click(w->CmdSend);
        QVERIFY(w->TxtMsg->logText().contains(QStringLiteral("发送字节超出限制")));
        w->OptSend[0]->setChecked(true);
        w->TxtSend->setText(QStringLiteral("a draft"));
        w->TxtSend->setFocus();
        QTest::keyClick(w->TxtSend, Qt::Key_Up);
        QCOMPARE(w->TxtSend->text(), QStringLiteral("third"));
        QTest::keyClick(w->TxtSend, Qt::Key_Up);
        QTest::keyClick(w->TxtSend, Qt::Key_Up);
        QCOMPARE(w->TxtSend->text(), QStringLiteral("first"));
        QTest::keyClick(w->TxtSend, Qt::Key_Up); // the oldest stays
        QCOMPARE(w->TxtSend->text(), QStringLiteral("first"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(w->TxtSend, Qt::Key_Down);
        QCOMPARE(w->TxtSend->text(), QStringLiteral("a draft"));
        // A recalled send goes out as typed.
        QTest::keyClick(w->TxtSend, Qt::Key_Up);
        click(w->CmdSend);
        QCOMPARE(sock->sent.last(), QByteArray("third"));
    }

    // What was sent and never reached the peer is counted in red: before
    // the line of the peer's end, whenever a hang-up's linger gave up, and
    // at quit.
    void whatNeverArrivedIsToldOf()
    {
        connectOut();
        sock->unsentBytes = 5;
        sock->raiseClose();
        QTRY_COMPARE(tail(w->TxtMsg, 3), (QStringList{"T  有5个字节未能送出，已丢弃", "T  通讯结束", ""}));
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("有5个字节未能送出，已丢弃"), kLast), kRed);
        sock->unsentBytes = 0;
        connectOut();
        sock->raiseClose();
        QTRY_COMPARE(tail(w->TxtMsg, 2), (QStringList{"T  通讯结束", ""}));
        QVERIFY(!tail(w->TxtMsg, 3).at(0).contains(QStringLiteral("未能送出"))); // nothing lost: no line for it
        sock->raiseSendsLost(4096);
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  有4096个字节未能送出，已丢弃"});
        connectOut();
        sock->unsentBytes = 3;
        click(w->CmdQuit);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  退出时有3个字节尚未送出"});
    }

    void sendFailureIsOneRedEntry()
    {
        connectOut();
        sock->failSendWith = QStringLiteral("连接已断开");
        w->TxtSend->setText(QStringLiteral("x"));
        click(w->CmdSend);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  连接已断开"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("连接已断开"), kLast), kRed);
        QCOMPARE(windowRow(w), rows::connected);

        sock->failSendWith.clear();
        click(w->CmdSend);
        QCOMPARE(tail(w->TxtMsg, 1), QStringList{"T  发送文本：  x"});
    }

    void readFailureLeavesNextCollectionWorking()
    {
        connectOut();
        sock->failGetDataWith = QStringLiteral("读取失败");
        sock->inBuffer = "x";
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  读取失败"});
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("读取失败"), kLast), kRed);
        QVERIFY(!w->Receiving);

        sock->failGetDataWith.clear();
        sock->inBuffer = "y";
        sock->raiseDataArrival();
        QTRY_COMPARE(tail(w->TxtMsg, 1), QStringList{"T  接收文本：  y"});
    }
};

QTEST_MAIN(TstFrmSockbay)
#include "tst_frmsockbay.moc"
