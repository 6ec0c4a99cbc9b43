// SPDX-License-Identifier: MIT
// The serial line under the user's hand, over a fake control: other speeds,
// DTR, RTS, a pulse and a break while the port is open, from the lamp
// strip's menu and from keys pressed anywhere in the window.
#include "clock.h"
#include "combobox.h"
#include "fakemscomm.h"
#include "form1.h"
#include "linedialogs.h"
#include "logcommands.h"
#include "logfindbar.h"
#include "logpane.h"
#include "logreader.h"
#include "messagebox.h"
#include "savedialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace logreader;

namespace {

// The actions of a widget's menu as "text", "text (off)", "text [x]" for a
// checked one, "" for a separator.
QStringList actionStates(const QWidget *widget)
{
    QStringList out;
    for (const QAction *a : widget->actions()) {
        if (a->isSeparator()) {
            out << QString();
            continue;
        }
        QString state = a->text();
        if (a->isChecked())
            state += QStringLiteral(" [x]");
        if (!a->isEnabled())
            state += QStringLiteral(" (off)");
        out << state;
    }
    return out;
}

} // namespace

class TstLineKeys : public QObject
{
    Q_OBJECT
private:
    FakeMSComm *fake = nullptr;
    Form1 *w = nullptr;
    ScaledClock clock{20};

    void open()
    {
        w->CmdOpen->click();
        QVERIFY(fake->open);
    }
    // Presses `key` where the user types: the keys work from anywhere.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        w->TxtSend->setFocus();
        QTest::keyClick(w->TxtSend, key, modifiers);
    }

private slots:
    void init()
    {
        Clock::install(&clock);
        fake = new FakeMSComm;
        w = new Form1(fake);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    void cleanup()
    {
        delete w;
        Clock::install(nullptr);
    }

    // A rate the list lacks joins it in order, for this run, and is what
    // the port opens at; "<默认>" still gives 9600 and the tooltip says what
    // the driver runs.
    void otherSpeedsJoinTheListInOrder()
    {
        QCOMPARE(actionStates(w->CmbSpeed), QStringList{"其他速率…"});
        w->CmbSpeed->actions().first()->trigger();
        auto *dialog = w->findChild<SpeedDialog *>();
        QVERIFY(dialog);
        // The common higher rates are offered to pick.
        QCOMPARE(comboItems(dialog->RateBox).first(), QStringLiteral("230400"));
        QCOMPARE(comboItems(dialog->RateBox).last(), QStringLiteral("4000000"));
        for (const char *bad : {"", "0", "12x", "99999999999"}) {
            dialog->RateBox->setEditText(QString::fromLatin1(bad));
            QCOMPARE(dialog->rate(), 0);
        }
        dialog->RateBox->setEditText(QStringLiteral("74880"));
        dialog->accept();
        QTRY_VERIFY(!w->findChild<SpeedDialog *>());
        QCOMPARE(w->CmbSpeed->currentText(), QStringLiteral("74880"));
        w->useSpeed(1800);
        w->useSpeed(3000000);
        w->useSpeed(115200); // already there: not twice
        QCOMPARE(comboItems(w->CmbSpeed),
                 (QStringList{"300", "600", "1200", "1800", "2400", "4800", "9600", "14400", "19200", "28800", "38400",
                              "56000", "57600", "74880", "115200", "128000", "256000", "3000000"}));
        QCOMPARE(w->CmbSpeed->currentText(), QStringLiteral("115200"));
        w->CmdSetDefault->click();
        QCOMPARE(w->CmbSpeed->currentText(), QStringLiteral("9600"));

        w->useSpeed(3000000);
        fake->speed = 2985074; // what a driver's divisor makes of it
        open();
        QCOMPARE(fake->settings, QStringLiteral("3000000,N,8,1"));
        QCOMPARE(w->CmbSpeed->toolTip(), QStringLiteral("实际速率：2985074 bit/s"));
        w->CmdClose->click();
        QCOMPARE(w->CmbSpeed->toolTip(), QString());
    }

    // The lamp strip's menu: the line's actions while open, the timing
    // always; DTR and RTS checked as held.
    void lampStripMenuFollowsThePort()
    {
        const QStringList closed = {"DTR (off)", "RTS (off)", "", "DTR 脉冲 (off)", "发送中断信号 (off)", "",
                                    "脉冲与中断时长…", "", "拔出后自动重连"};
        QCOMPARE(actionStates(w->Frame4), closed);
        w->ChkRTS->setChecked(true);
        open();
        QCOMPARE(actionStates(w->Frame4),
                 (QStringList{"DTR", "RTS [x]", "", "DTR 脉冲", "发送中断信号", "", "脉冲与中断时长…", "",
                              "拔出后自动重连"}));
        w->CmdClose->click();
        QStringList closedRtsHigh = closed;
        closedRtsHigh[1] = QStringLiteral("RTS [x] (off)");
        QCOMPARE(actionStates(w->Frame4), closedRtsHigh);

        // A device that went away takes the actions with it.
        open();
        fake->open = false;
        emit fake->linkFailed(QStringLiteral("/dev/fake1: gone"), 0);
        QCOMPARE(actionStates(w->Frame4), closedRtsHigh);
    }

    // Each key from the send box reaches the line, is logged once in black,
    // and leaves the send box as it was; DTR and RTS show in their boxes.
    void keysDriveTheLineFromAnywhere()
    {
        w->TxtSend->setText(QStringLiteral("abc"));
        w->TxtSend->setCursorPosition(0);
        press(Qt::Key_D, Qt::ControlModifier); // closed: nothing
        QVERIFY(fake->lineActions.isEmpty());
        open();
        const QString opened = shape(w->TxtMsg);

        press(Qt::Key_D, Qt::ControlModifier);
        press(Qt::Key_R, Qt::ControlModifier);
        press(Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(fake->lineActions, (QStringList{"DTR 1", "RTS 1", "DTR 0"}));
        QVERIFY(!w->ChkDTR->isChecked() && w->ChkRTS->isChecked());
        QVERIFY(!w->ActDTR->isChecked() && w->ActRTS->isChecked());

        w->setLineTiming(60, 80);
        fake->lineActions.clear();
        QElapsedTimer timer;
        timer.start();
        press(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        press(Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier); // under way: not twice
        QCOMPARE(fake->lineActions, QStringList{"DTR 0"});
        QTRY_COMPARE(fake->lineActions, (QStringList{"DTR 0", "DTR 1"}));
        QVERIFY(timer.elapsed() >= 60);
        QVERIFY(w->ChkDTR->isChecked()); // a pulse ends high
        press(Qt::Key_B, Qt::ControlModifier);
        QTRY_COMPARE(fake->lineActions, (QStringList{"DTR 0", "DTR 1", "break 1", "break 0"}));

        QCOMPARE(w->TxtSend->text(), QStringLiteral("abc"));
        QCOMPARE(shape(w->TxtMsg).mid(opened.size()),
                 QStringLiteral("\nT  DTR 置为高电平\nT  RTS 置为高电平\nT  DTR 置为低电平"
                                "\nT  DTR 脉冲：低电平 60 毫秒，然后高电平\nT  发送中断信号：80 毫秒"));
        QVERIFY(redEntries(w->TxtMsg).isEmpty());
        // The boxes as the line was left are what the next open holds.
        w->CmdClose->click();
        open();
        QVERIFY(fake->dtr && fake->rts);
    }

    // A device that refuses: one red entry with its reason each, the boxes
    // as they were, the port open.
    void refusalsAreRedAndThePortStaysOpen()
    {
        open();
        fake->failLinesWith = QStringLiteral("/dev/fake1: DTR: no modem control lines");
        w->ActDTR->trigger();
        w->ActPulse->trigger();
        fake->failLinesWith = QStringLiteral("/dev/fake1: break: no modem control lines");
        w->ActBreak->trigger();
        QCOMPARE(redEntries(w->TxtMsg),
                 (QStringList{"T  DTR 置为高电平失败：/dev/fake1: DTR: no modem control lines",
                              "T  DTR 脉冲失败：/dev/fake1: DTR: no modem control lines",
                              "T  发送中断信号失败：/dev/fake1: break: no modem control lines"}));
        QVERIFY(!w->ChkDTR->isChecked() && !w->ActDTR->isChecked());
        QVERIFY(fake->open && w->CmdClose->isEnabled());
    }

    // A close in the middle of a pulse or a break ends it: nothing touches
    // the line after the close.
    void closeEndsAPulseUnderWay()
    {
        w->setLineTiming(50, 50);
        open();
        w->ActPulse->trigger();
        w->ActBreak->trigger();
        w->CmdClose->click();
        QTest::qWait(120);
        QCOMPARE(fake->lineActions, (QStringList{"DTR 0", "break 1"}));
    }

    void timingDialogSetsTheLengths()
    {
        QCOMPARE(w->dtrPulseMs(), 100);
        QCOMPARE(w->breakMs(), 250);
        w->ActTiming->trigger();
        auto *dialog = w->findChild<LineTimingDialog *>();
        QVERIFY(dialog);
        dialog->PulseBox->setValue(30);
        dialog->BreakBox->setValue(500);
        dialog->accept();
        QCOMPARE(w->dtrPulseMs(), 30);
        QCOMPARE(w->breakMs(), 500);
    }

    // A send on a port whose device went away is refused in red with the
    // reason, and nothing is logged as sent.
    void sendAfterTheDeviceWentIsRefused()
    {
        open();
        fake->open = false;
        emit fake->linkFailed(QStringLiteral("/dev/fake1: the device hung up"), 0);
        w->TxtSend->setText(QStringLiteral("hello"));
        w->CmdSend->click();
        QCOMPARE(tail(w->TxtMsg, 2),
                 (QStringList{"T  /dev/fake1: the device hung up", "T  未发送：/dev/fake1: the device hung up"}));
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  未发送："), kLast), kRed);
        QVERIFY(fake->output.isEmpty());
        // Closed by the user, a send is back to doing nothing at all.
        w->CmdClose->click();
        const QString closed = shape(w->TxtMsg);
        w->CmdSend_Click();
        QCOMPARE(shape(w->TxtMsg), closed);
    }

    // Find, find next and previous, closing the find, and save work from
    // the send box as from the log; F3 is the find's only while it is open.
    void logKeysFromAnywhereInTheWindow()
    {
        w->AppendLog(kBlack, QStringLiteral("\r\nalpha one alpha two alpha"));
        const qint64 text = w->TxtMsg->store().size() - 25;
        w->TxtSend->setText(QStringLiteral("typed"));
        press(Qt::Key_F, Qt::ControlModifier);
        LogFindBar *bar = w->logCommands()->findBar();
        QVERIFY(bar->isVisible());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("alpha"));
        QTRY_COMPARE(w->TxtMsg->selectionStart(), text);
        press(Qt::Key_F3, Qt::NoModifier);
        QTRY_COMPARE(w->TxtMsg->selectionStart(), text + 10);
        press(Qt::Key_F3, Qt::NoModifier);
        QTRY_COMPARE(w->TxtMsg->selectionStart(), text + 20);
        press(Qt::Key_F3, Qt::ShiftModifier);
        QTRY_COMPARE(w->TxtMsg->selectionStart(), text + 10);
        QCOMPARE(w->TxtSend->text(), QStringLiteral("typed")); // the box took none of the keys
        press(Qt::Key_Escape, Qt::NoModifier);
        QVERIFY(!bar->isVisible());
        // Closed: F3 is the window's again, and finds nothing.
        press(Qt::Key_F3, Qt::NoModifier);
        QTRY_COMPARE(w->TxtMsg->selectionStart(), text + 10);

        QStringList asked;
        setSavePathHook([&](const QString &title, const QString &, const QString &, QString *) {
            asked << title;
            return QString();
        });
        press(Qt::Key_S, Qt::ControlModifier);
        setSavePathHook(nullptr);
        QCOMPARE(asked, QStringList{"保存信息"});
    }

    // The end-of-file line stands after the data that held the character,
    // and that data is logged once.
    void endOfFileStandsAfterItsData()
    {
        w->ChkEof->setChecked(true);
        open();
        fake->inBuffer = "ab\x1a";
        fake->raise(MSComm::comEvReceive);
        fake->raise(MSComm::comEvEOF);
        QTRY_VERIFY(shape(w->TxtMsg).contains(QStringLiteral("收到文件结束符")));
        QTRY_VERIFY(!w->Receiving);
        QTest::qWait(100); // the collection under way has ended
        QCOMPARE(tail(w->TxtMsg, 2),
                 (QStringList{QStringLiteral("T  接收文本：  ab\x1a"), QStringLiteral("T  收到文件结束符")}));
        QCOMPARE(receivedTexts(w->TxtMsg).size(), 1);
    }
};

QTEST_MAIN(TstLineKeys)
#include "tst_linekeys.moc"
