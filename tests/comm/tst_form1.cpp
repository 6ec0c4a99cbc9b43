// SPDX-License-Identifier: MIT
#include "clock.h"
#include "combobox.h"
#include "eventqueue.h"
#include "fakemscomm.h"
#include "frozenclock.h"
#include "form1.h"
#include "guard.h"
#include "lamp.h"
#include "linedialogs.h"
#include "logpane.h"
#include "logreader.h"
#include "messagebox.h"
#include "serialdevice.h"
#include "syserror.h"
#include "twips.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <unistd.h>

using namespace logreader;

namespace {

// The fake control naming each port through its link, as the real one does.
class LinkedMSComm : public FakeMSComm
{
public:
    QString portDevice(int port) const override { return SerialDevice::named(port); }
};

// XDG_CONFIG_HOME set for a test's time.
struct ConfigHome
{
    const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    explicit ConfigHome(const QString &dir) { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir)); }
    ~ConfigHome() { had ? void(qputenv("XDG_CONFIG_HOME", saved)) : void(qunsetenv("XDG_CONFIG_HOME")); }
};

// A fake root with the device nodes `names` under dev/.
void makeDevices(const QTemporaryDir &tree, const QStringList &names)
{
    QDir().mkpath(tree.filePath(QStringLiteral("dev")));
    for (const QString &name : names) {
        QFile node(tree.filePath(QStringLiteral("dev/") + name));
        node.open(QIODevice::WriteOnly);
    }
}

QAction *item(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
        if (!action->isSeparator() && action->text() == text)
            return action;
    qFatal("no menu item %s", qPrintable(text));
}

// The menu's items as "text" or "text (off)"; a separator is its caption.
QStringList itemStates(QMenu *menu)
{
    QStringList out;
    for (QAction *action : menu->actions())
        out << (action->isSeparator() || action->isEnabled() ? action->text() : action->text() + QStringLiteral(" (off)"));
    return out;
}
} // namespace

// The serial tester's window over a fake serial control: what the user sees
// in the log, on the lamps and on the buttons.
class TstForm1 : public QObject
{
    Q_OBJECT
private:
    FakeMSComm *fake = nullptr;
    Form1 *w = nullptr;
    QStringList notices;
    ScaledClock clock{20}; // the one-second settle takes 50 ms
    int quits = 0;

    QString log() const { return shape(w->TxtMsg); }
    // The window again, over a control that reads the links, listing the
    // devices under `root`.
    void linkedWindow(const QString &root)
    {
        delete w;
        fake = new LinkedMSComm;
        w = new Form1(fake);
        w->deviceRoot = root;
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    // Runs `f` inside the next collection's pause, as an event the pause
    // delivers: queued when the collection first asks what is waiting.
    void duringSettle(std::function<void()> f)
    {
        fake->onPoll = [this, f = std::move(f)] { QMetaObject::invokeMethod(w, f, Qt::QueuedConnection); };
    }
    void open()
    {
        w->CmdOpen->click();
        QVERIFY(fake->open);
    }
    int receiveEntries() const { return int(log().count(QStringLiteral("  接收"))); }
    // One arrival, collected and logged.
    void receive(const QByteArray &bytes)
    {
        const int before = receiveEntries();
        fake->inBuffer += bytes;
        fake->raise(MSComm::comEvReceive);
        QTRY_COMPARE(receiveEntries(), before + 1);
        QTRY_VERIFY(!w->Receiving);
    }

private slots:
    void initTestCase()
    {
        setNoticeHook([this](const QString &text, const QString &title) { notices << title + u'|' + text; });
        setQuitHook([this] { ++quits; });
    }
    void init()
    {
        Clock::install(&clock);
        fake = new FakeMSComm;
        w = new Form1(fake);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QApplication::setActiveWindow(w);
        notices.clear();
    }
    void cleanup()
    {
        delete w;
        Clock::install(nullptr);
    }

    void rightAfterStart();
    void windowGeometry();
    void screenReadersHearEachControlByItsName();
    void defaultsRestoreOnlyTheLineSettings();
    void enableSettingsBothWays();
    void receiveOptionReachesTheControl();
    void tabOrder();
    void enterPressesTheDefaultButton();
    void sendBoxRefusesThe513thCharacter();
    void quitEndsAtOnce();
    void whatNeverWentOutIsToldOf();

    void openSucceeds();
    void openWritesTheSettings_data();
    void openWritesTheSettings();
    void openFailsByError();
    void openFailsSilently();
    void openFindsPortOpen();
    void closeOnClosedPort();

    void sendWithLinkDownDoesNothing();
    void emptySendBoxPrompts();
    void sendText();
    void sendBytes();
    void sendBeyondLimitsIsRefused();
    void sendFailureIsLoggedInRed();

    void commEvents_data();
    void commEvents();
    void sendEventFlashesTheLamp();
    void lineEventsFollowTheLevel();
    void receiveTextAfterSettle();
    void receiveBytesAfterSettle();
    void receiveNestedEventOnlyRelights();
    void receiveEmptyBufferReadsAtOnce();
    void fullBufferIsReadAtOnce();
    void bufferFilledDuringSettleEndsIt();
    void closeDuringSettleLogsDataFirst();
    void closeTakesWhatIsPastTheBound();
    void receiveModeSwitchedDuringSettle();
    void lostDeviceIsReportedOnce();
    void lostDeviceDuringSettleLogsDataFirst();
    void textAcrossReads_data();
    void textAcrossReads();
    void heldBytesLeadTheListingAfterSwitch();
    void heldBytesShowAtTheEnd_data();
    void heldBytesShowAtTheEnd();

    void portMenuBindsTheSelectedEntry();
    void portMenuWithoutDevices();
    void portMenuIdleWhileOpen();
    void otherDeviceBindsCharacterDevices();
    void linkFailureShowsNotice_data();
    void linkFailureShowsNotice();
};

void TstForm1::rightAfterStart()
{
    const QString text = logText(w->TxtMsg);
    QVERIFY2(!text.contains(u'\n'), qPrintable(text));
    QVERIFY(text.endsWith(QStringLiteral("  启动程序")));
    QCOMPARE(log(), QStringLiteral("T  启动程序"));
    QCOMPARE(colourOf(w->TxtMsg, text), kBlack);

    QCOMPARE(w->windowTitle(), QStringLiteral("串口通讯测试(Quelt)"));
    QCOMPARE(comboItems(w->CmbPort), (QStringList{"COM1", "COM2", "COM3", "COM4"}));
    QCOMPARE(comboItems(w->CmbSpeed), (QStringList{"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800",
                                              "38400", "56000", "57600", "115200", "128000", "256000"}));
    QCOMPARE(comboItems(w->CmbJY), (QStringList{"E", "M", "N", "O", "S"}));
    QCOMPARE(comboItems(w->CmbSJ), (QStringList{"4", "5", "6", "7", "8"}));
    QCOMPARE(comboItems(w->CmbTZ), (QStringList{"1", "1.5", "2"}));
    QCOMPARE(comboItems(w->CmbXY), (QStringList{"None", "Xon/Xoff", "RTS/CTS", "By All"}));
    for (QComboBox *b : {w->CmbPort, w->CmbSpeed, w->CmbJY, w->CmbSJ, w->CmbTZ, w->CmbXY})
        QVERIFY(!b->isEditable());
    QCOMPARE(w->CmbPort->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w->CmbSpeed->currentText(), QStringLiteral("9600"));
    QCOMPARE(w->CmbJY->currentText(), QStringLiteral("N"));
    QCOMPARE(w->CmbSJ->currentText(), QStringLiteral("8"));
    QCOMPARE(w->CmbTZ->currentText(), QStringLiteral("1"));
    QCOMPARE(w->CmbXY->currentText(), QStringLiteral("None"));
    for (QCheckBox *c : {w->ChkDTR, w->ChkRTS, w->ChkEof, w->ChkSend})
        QCOMPARE(c->checkState(), Qt::Unchecked);
    QVERIFY(w->OptSend[0]->isChecked() && !w->OptSend[1]->isChecked());
    QVERIFY(w->OptArrv[0]->isChecked() && !w->OptArrv[1]->isChecked());
    QVERIFY(!w->CmdSend->isEnabled());
    QVERIFY(!w->CmdClose->isEnabled());
    for (QPushButton *b : {w->CmdOpen, w->CmdSetDefault, w->CmdClear, w->CmdQuit})
        QVERIFY(b->isEnabled());
    for (Lamp *l : {w->ShpOpen, w->ShpDTR, w->ShpRTS, w->ShpCD, w->ShpSend, w->ShpArrv})
        QCOMPARE(l->BackColor(), kBlack);
    QCOMPARE(w->TxtSend->maxLength(), 512);
    QVERIFY(w->TxtSend->text().contains(QStringLiteral("   ")));
    QVERIFY(w->TxtSend->text().contains(u'@'));
    QCOMPARE(w->Image1[0]->toolTip(), QStringLiteral("端口打开指示"));
    QCOMPARE(w->Image1[5]->toolTip(), QStringLiteral("接收指示"));
    QCOMPARE(w->CmbPort->toolTip(), QStringLiteral("/dev/fake1"));
    QCOMPARE(w->CmbPort->itemData(3, Qt::ToolTipRole).toString(), QStringLiteral("/dev/fake4"));
    // Loading sets nothing on the control.
    QCOMPARE(fake->openCalls, 0);
    QCOMPARE(fake->settings, QString());
}

void TstForm1::screenReadersHearEachControlByItsName()
{
    const auto iface = [](QObject *o) { return QAccessible::queryAccessibleInterface(o); };
    const auto name = [&](QObject *o) { return iface(o)->text(QAccessible::Name); };
    // A list is labelled by its label and gives its choice as its value
    // (on Linux, Qt names it by that value too).
    const struct { QComboBox *list; const char16_t *label; } lists[] = {
        {w->CmbPort, u"端口："}, {w->CmbSpeed, u"波特率："}, {w->CmbJY, u"校验位："},
        {w->CmbSJ, u"数据位："}, {w->CmbTZ, u"停止位："}, {w->CmbXY, u"握手协议："}};
    for (const auto &l : lists) {
        const QString label = QString::fromUtf16(l.label);
        const auto relations = iface(l.list)->relations(QAccessible::Label);
        QVERIFY(std::any_of(relations.begin(), relations.end(),
                            [&](const auto &r) { return r.first->text(QAccessible::Name) == label; }));
        QCOMPARE(iface(l.list)->text(QAccessible::Value), l.list->currentText());
    }
    w->CmbSpeed->setCurrentText(QStringLiteral("115200"));
    QCOMPARE(iface(w->CmbSpeed)->text(QAccessible::Value), QStringLiteral("115200"));
    // The lamp strip holds the lamps and nothing else a reader would visit.
    QAccessibleInterface *strip = iface(w->Frame4);
    QCOMPARE(strip->childCount(), 6);
    for (int i = 0; i < strip->childCount(); ++i) {
        QCOMPARE(strip->child(i)->role(), QAccessible::Indicator);
        QCOMPARE(strip->indexOfChild(strip->child(i)), i);
        QCOMPARE(strip->child(i)->parent()->object(), w->Frame4);
    }
    QCOMPARE(strip->child(0)->text(QAccessible::Name), QStringLiteral("端口打开指示"));
    QCOMPARE(name(w->TxtSend), QStringLiteral("内容："));
    QCOMPARE(name(w->TxtMsg), QStringLiteral("信息"));
    QCOMPARE(name(w->ShpOpen), QStringLiteral("端口打开指示"));
    QCOMPARE(name(w->ShpRTS), QStringLiteral("RTS指示"));
    QAccessibleInterface *open = QAccessible::queryAccessibleInterface(w->ShpOpen);
    QCOMPARE(open->text(QAccessible::Description), QStringLiteral("灭"));
    w->CmdOpen->click();
    QCOMPARE(open->text(QAccessible::Description), QStringLiteral("亮"));
    QVERIFY(open->state().checked);
}

void TstForm1::windowGeometry()
{
    QCOMPARE(w->size(), QSize(tw(8910), tw(6780)));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->CmdOpen->geometry(), twRect(2640, 1200, 1095, 420));
    QCOMPARE(w->CmdQuit->geometry(), twRect(7560, 1200, 1095, 420));
    QCOMPARE(w->TxtMsg->geometry(), twRect(120, 2880, 8655, 3810));
    QCOMPARE(w->ShpArrv->parentWidget(), w->Frame4);
    QCOMPARE(w->OptSend[1]->parentWidget(), w->Frame3);
    QCOMPARE(w->OptArrv[1]->parentWidget(), w->Frame2);
    QCOMPARE(w->Frame1->title(), QStringLiteral("通讯设置："));
    QCOMPARE(w->Frame3->title(), QStringLiteral("发送选项："));
    QCOMPARE(w->Frame2->title(), QStringLiteral("接收选项："));
    // Every caption fits its control, indicator and margins included.
    QStringList clipped;
    for (QWidget *c : w->findChildren<QWidget *>()) {
        QString caption;
        if (auto *b = qobject_cast<QAbstractButton *>(c))
            caption = b->text();
        else if (auto *l = qobject_cast<QLabel *>(c))
            caption = l->text();
        if (caption.isEmpty())
            continue;
        const int needed = qobject_cast<QPushButton *>(c) ? c->fontMetrics().horizontalAdvance(caption) + 4
                                                           : c->sizeHint().width();
        if (needed > c->width() || c->fontMetrics().height() > c->height())
            clipped << QStringLiteral("%1: %2x%3 in %4x%5").arg(caption).arg(needed).arg(c->sizeHint().height())
                           .arg(c->width()).arg(c->height());
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
}

void TstForm1::defaultsRestoreOnlyTheLineSettings()
{
    w->CmbPort->setCurrentIndex(2);
    w->CmbSpeed->setCurrentIndex(14);
    w->CmbJY->setCurrentIndex(0);
    w->CmbSJ->setCurrentIndex(0);
    w->CmbTZ->setCurrentIndex(2);
    w->CmbXY->setCurrentIndex(3);
    for (QCheckBox *c : {w->ChkDTR, w->ChkRTS, w->ChkEof, w->ChkSend})
        c->setChecked(true);
    w->OptSend[1]->setChecked(true);
    w->OptArrv[1]->setChecked(true);
    w->TxtSend->setText(QStringLiteral("41 42"));

    QTest::mouseClick(w->CmdSetDefault, Qt::LeftButton);

    QCOMPARE(w->CmbSpeed->currentText(), QStringLiteral("9600"));
    QCOMPARE(w->CmbJY->currentText(), QStringLiteral("N"));
    QCOMPARE(w->CmbSJ->currentText(), QStringLiteral("8"));
    QCOMPARE(w->CmbTZ->currentText(), QStringLiteral("1"));
    QCOMPARE(w->CmbXY->currentText(), QStringLiteral("None"));
    for (QCheckBox *c : {w->ChkDTR, w->ChkRTS, w->ChkEof})
        QVERIFY(!c->isChecked());
    QCOMPARE(w->CmbPort->currentText(), QStringLiteral("COM3"));
    QVERIFY(w->ChkSend->isChecked());
    QVERIFY(w->OptSend[1]->isChecked());
    QVERIFY(w->OptArrv[1]->isChecked());
    QCOMPARE(w->TxtSend->text(), QStringLiteral("41 42"));
    QCOMPARE(log(), QStringLiteral("T  启动程序"));
}

void TstForm1::enableSettingsBothWays()
{
    const QList<QWidget *> settings{w->CmbPort, w->CmbSpeed, w->CmbJY, w->CmbSJ, w->CmbTZ, w->CmbXY,
                                    w->ChkDTR, w->ChkRTS, w->ChkEof, w->CmdSetDefault, w->CmdOpen};
    const QList<QWidget *> untouched{w->TxtSend, w->OptSend[0], w->OptSend[1], w->OptArrv[0], w->OptArrv[1],
                                     w->ChkSend, w->CmdClear, w->CmdQuit};
    w->EnableSettings(false);
    for (QWidget *c : settings)
        QVERIFY(!c->isEnabled());
    QVERIFY(w->CmdClose->isEnabled());
    QVERIFY(w->CmdSend->isEnabled());
    for (QWidget *c : untouched)
        QVERIFY(c->isEnabled());
    w->EnableSettings(true);
    for (QWidget *c : settings)
        QVERIFY(c->isEnabled());
    QVERIFY(!w->CmdClose->isEnabled());
    QVERIFY(!w->CmdSend->isEnabled());
    for (QWidget *c : untouched)
        QVERIFY(c->isEnabled());
}

void TstForm1::receiveOptionReachesTheControl()
{
    QTest::mouseClick(w->OptArrv[1], Qt::LeftButton);
    QCOMPARE(fake->inputMode, 1);
    QTest::mouseClick(w->OptArrv[0], Qt::LeftButton);
    QCOMPARE(fake->inputMode, 0);
    open();
    QTest::mouseClick(w->OptArrv[1], Qt::LeftButton);
    QCOMPARE(fake->inputMode, 1); // at once, with the port open
    w->OptArrv_Click(7);
    QCOMPARE(fake->inputMode, 1);
}

void TstForm1::tabOrder()
{
    open(); // every button of the order is enabled only in one form or the other
    w->EnableSettings(true);
    w->CmdSend->setEnabled(true);
    w->CmdClose->setEnabled(true);
    w->CmbPort->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), w->CmbPort);
    const QList<QWidget *> expected{w->CmbSpeed, w->ChkDTR, w->ChkRTS, w->ChkEof, w->CmdSetDefault, w->CmbJY,
                                    w->CmbSJ, w->CmbTZ, w->CmbXY, w->CmdOpen, w->CmdSend, w->CmdClose,
                                    w->CmdClear, w->CmdQuit, w->OptSend[0], w->ChkSend, w->TxtSend,
                                    w->OptArrv[0], w->TxtMsg, w->CmbPort};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    for (QWidget *c : w->findChildren<QWidget *>())
        if (qobject_cast<QLabel *>(c) || qobject_cast<QGroupBox *>(c) || qobject_cast<Lamp *>(c)
            || qobject_cast<LampRim *>(c) || qobject_cast<TipArea *>(c))
            QCOMPARE(c->focusPolicy(), Qt::NoFocus);
}

void TstForm1::enterPressesTheDefaultButton()
{
    w->TxtSend->setText(QStringLiteral("hello"));
    w->TxtSend->setFocus();
    QTest::keyClick(w->TxtSend, Qt::Key_Return); // port closed: nothing
    QCOMPARE(fake->output.size(), 0);
    QCOMPARE(log(), QStringLiteral("T  启动程序"));

    open();
    w->TxtSend->setFocus();
    QTest::keyClick(w->TxtSend, Qt::Key_Return);
    QCOMPARE(fake->output, (QList<QByteArray>{"hello"}));
    QTest::keyClick(w->CmbSpeed, Qt::Key_Enter);
    QCOMPARE(fake->output.size(), 2);
    w->OptArrv[1]->setFocus();
    QTest::keyClick(w->OptArrv[1], Qt::Key_Return);
    QCOMPARE(fake->output.size(), 3);

    // Another button with the focus presses itself instead.
    w->CmdClear->setFocus();
    QTest::keyClick(w->CmdClear, Qt::Key_Return);
    QCOMPARE(fake->output.size(), 3);
    QCOMPARE(logText(w->TxtMsg), QString());

    // The keypad's Enter is Enter too.
    w->TxtSend->setFocus();
    QTest::keyClick(w->TxtSend, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(fake->output.size(), 4);
    w->CmbXY->setFocus();
    QTest::keyClick(w->CmbXY, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(fake->output.size(), 5);
    // With another modifier it is not.
    QTest::keyClick(w->TxtSend, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(fake->output.size(), 5);
}

void TstForm1::sendBoxRefusesThe513thCharacter()
{
    w->TxtSend->clear();
    w->TxtSend->setFocus();
    QTest::keyClicks(w->TxtSend, QString(513, u'x'));
    QCOMPARE(w->TxtSend->text().size(), 512);
}

void TstForm1::quitEndsAtOnce()
{
    quits = 0;
    open();
    QTest::mouseClick(w->CmdQuit, Qt::LeftButton);
    QCOMPARE(quits, 1);
    QCOMPARE(fake->closeCalls, 0); // the port is left to the system
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功"));
    w->close();
    QCOMPARE(quits, 2);
}

void TstForm1::whatNeverWentOutIsToldOf()
{
    // Closed by the user, lost with the device, or left at quit: what was
    // handed over and had not gone out is counted in red, before the line
    // that ends the link.
    open();
    fake->outBufferCount = 120;
    w->CmdClose_Click();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  有120个字节未能送出，已丢弃\nT 关闭端口\n"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  有120个字节未能送出，已丢弃")), kRed);
    open();
    fake->open = false;
    emit fake->linkFailed(QStringLiteral("gone"), 7);
    QVERIFY(log().endsWith(QStringLiteral("成功\nT  有7个字节未能送出，已丢弃\nT  gone")));
    w->CmdClose_Click();
    open();
    fake->outBufferCount = 0;
    w->CmdClose_Click(); // nothing left: no line for it
    QVERIFY(log().endsWith(QStringLiteral("成功\nT 关闭端口\n")));
    open();
    fake->outBufferCount = 3;
    QTest::mouseClick(w->CmdQuit, Qt::LeftButton);
    QVERIFY(log().endsWith(QStringLiteral("成功\nT  退出时有3个字节尚未送出")));
}

void TstForm1::openSucceeds()
{
    w->CmbPort->setCurrentIndex(1);
    QTest::mouseClick(w->CmdOpen, Qt::LeftButton);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM2……成功"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral(" 打开端口：COM2……")), kBlack);
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("成功")), kBlue);
    QCOMPARE(w->ShpOpen->BackColor(), kRed);
    for (Lamp *l : {w->ShpRTS, w->ShpDTR, w->ShpCD})
        QCOMPARE(l->BackColor(), kBlack);
    for (QWidget *c : {static_cast<QWidget *>(w->CmbPort), static_cast<QWidget *>(w->CmbXY),
                       static_cast<QWidget *>(w->ChkEof), static_cast<QWidget *>(w->CmdSetDefault),
                       static_cast<QWidget *>(w->CmdOpen)})
        QVERIFY(!c->isEnabled());
    QVERIFY(w->CmdSend->isEnabled() && w->CmdClose->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->CmdSend);
    QCOMPARE(fake->commPort, 2);

    // The lines read high at opening light their lamps.
    QTest::mouseClick(w->CmdClose, Qt::LeftButton);
    fake->cts = true;
    fake->cd = true;
    QTest::mouseClick(w->CmdOpen, Qt::LeftButton);
    QCOMPARE(w->ShpRTS->BackColor(), kRed);
    QCOMPARE(w->ShpDTR->BackColor(), kBlack);
    QCOMPARE(w->ShpCD->BackColor(), kRed);

    QTest::mouseClick(w->CmdClose, Qt::LeftButton);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM2……成功\nT 关闭端口\n\nT 打开端口：COM2……成功\nT 关闭端口\n"));
    for (Lamp *l : {w->ShpOpen, w->ShpRTS, w->ShpDTR, w->ShpCD})
        QCOMPARE(l->BackColor(), kBlack);
    QVERIFY(!fake->open);
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdSend->isEnabled() && !w->CmdClose->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->CmdOpen);
}

void TstForm1::openWritesTheSettings_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("handshake");
    QTest::addColumn<Qt::CheckState>("lines");
    QTest::addColumn<bool>("bytesMode");
    QTest::addColumn<QString>("settings");
    QTest::newRow("defaults") << 5 << 2 << 4 << 0 << 0 << Qt::Unchecked << false << "9600,N,8,1";
    QTest::newRow("fast, even, 7, 2, by all") << 14 << 0 << 3 << 2 << 3 << Qt::Checked << true << "256000,E,7,2";
    QTest::newRow("greyed boxes count as set") << 0 << 4 << 0 << 1 << 1 << Qt::PartiallyChecked << false << "300,S,4,1.5";
}

void TstForm1::openWritesTheSettings()
{
    QFETCH(int, speed);
    QFETCH(int, parity);
    QFETCH(int, bits);
    QFETCH(int, stop);
    QFETCH(int, handshake);
    QFETCH(Qt::CheckState, lines);
    QFETCH(bool, bytesMode);
    QFETCH(QString, settings);
    w->CmbSpeed->setCurrentIndex(speed);
    w->CmbJY->setCurrentIndex(parity);
    w->CmbSJ->setCurrentIndex(bits);
    w->CmbTZ->setCurrentIndex(stop);
    w->CmbXY->setCurrentIndex(handshake);
    for (QCheckBox *c : {w->ChkDTR, w->ChkRTS, w->ChkEof}) {
        c->setTristate(lines == Qt::PartiallyChecked);
        c->setCheckState(lines);
    }
    w->OptArrv[bytesMode ? 1 : 0]->setChecked(true); // no click: the open itself must pass it on
    w->CmdOpen_Click();
    QCOMPARE(fake->settings, settings);
    QCOMPARE(fake->handshaking, handshake);
    const bool set = lines != Qt::Unchecked;
    QCOMPARE(fake->dtr, set);
    QCOMPARE(fake->rts, set);
    QCOMPARE(fake->eof, set);
    QCOMPARE(fake->inputMode, bytesMode ? 1 : 0);
    QCOMPARE(fake->commPort, 1);
}

void TstForm1::openFailsByError()
{
    fake->failOpenWith = QStringLiteral("/dev/ttyS0: No such file or directory");
    QTest::mouseClick(w->CmdOpen, Qt::LeftButton);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……/dev/ttyS0: No such file or directory"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("/dev/ttyS0: No such file or directory")), kRed);
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdSend->isEnabled() && !w->CmdClose->isEnabled());
    QCOMPARE(w->ShpOpen->BackColor(), kBlack);

    // A refused setting ends the same way, before the port is touched.
    fake->failOpenWith.clear();
    fake->failSettingsWith = QStringLiteral("4 data bits are not supported");
    w->CmdOpen_Click();
    QVERIFY(log().endsWith(QStringLiteral("COM1……4 data bits are not supported")));
    QCOMPARE(fake->openCalls, 1);
    QVERIFY(!fake->open);

    // Any other failure ends the attempt's line too, not a new entry.
    fake->failSettingsWith.clear();
    fake->onOpen = [] { throw std::runtime_error("out of descriptors"); };
    w->CmdOpen_Click();
    QVERIFY(log().endsWith(QStringLiteral("COM1……out of descriptors")));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("out of descriptors")), kRed);
    fake->onOpen = [] { throw 42; };
    w->CmdOpen_Click();
    QVERIFY(log().endsWith(QStringLiteral("COM1……未知错误")));
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdClose->isEnabled());
}

void TstForm1::openFailsSilently()
{
    fake->openSilentlyFails = true;
    w->CmdOpen_Click();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……失败"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("失败")), kRed);
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdClose->isEnabled());
    QCOMPARE(w->ShpOpen->BackColor(), kBlack);
}

void TstForm1::openFindsPortOpen()
{
    fake->open = true;
    w->CmbSpeed->setCurrentIndex(12);
    w->CmdOpen_Click();
    QCOMPARE(fake->closeCalls, 1);
    QCOMPARE(fake->openCalls, 1);
    QCOMPARE(fake->settings, QStringLiteral("115200,N,8,1"));
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功"));
}

void TstForm1::closeOnClosedPort()
{
    w->ShpOpen->setBackColor(kRed);
    w->EnableSettings(false);
    w->CmdClose_Click();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 关闭端口\n"));
    QCOMPARE(fake->closeCalls, 0);
    QCOMPARE(w->ShpOpen->BackColor(), kBlack);
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdClose->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w->CmdOpen);
}

void TstForm1::sendWithLinkDownDoesNothing()
{
    for (const QString &text : {QStringLiteral("abc"), QStringLiteral("   ")}) {
        w->TxtSend->setText(text);
        w->CmdSend_Click();
    }
    QCOMPARE(fake->output.size(), 0);
    QVERIFY(notices.isEmpty());
    QCOMPARE(log(), QStringLiteral("T  启动程序"));
}

void TstForm1::emptySendBoxPrompts()
{
    open();
    w->TxtSend->setText(QStringLiteral("    "));
    w->CmdClose->setFocus();
    w->CmdSend_Click();
    QCOMPARE(notices, QStringList{QStringLiteral("提示|请输入发送内容！")});
    QCOMPARE(QApplication::focusWidget(), w->TxtSend);
    QCOMPARE(fake->output.size(), 0);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功"));
}

void TstForm1::sendText()
{
    open();
    w->TxtSend->setText(QStringLiteral("  héllo <b>x</b>\t "));
    w->CmdSend_Click();
    w->ChkSend->setChecked(true);
    w->CmdSend_Click();
    QCOMPARE(fake->output, (QList<QByteArray>{"h\xC3\xA9llo <b>x</b>\t", "h\xC3\xA9llo <b>x</b>\t\r"}));
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  发送文本：  héllo <b>x</b>\t"
                                   "\nT  发送文本：  héllo <b>x</b>\t"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  发送文本：  héllo"), 1), kBlack);
    // The send box keeps its text.
    QCOMPARE(w->TxtSend->text(), QStringLiteral("  héllo <b>x</b>\t "));
}

void TstForm1::sendBytes()
{
    open();
    w->OptSend[1]->setChecked(true);
    w->ChkSend->setChecked(true); // matters for text only
    w->TxtSend->setText(QStringLiteral(" 41 42  ff 0 "));
    w->CmdSend_Click();
    QCOMPARE(fake->output, (QList<QByteArray>{QByteArray("\x41\x42\xFF\x00", 4)}));
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  发送数据：  41  42  FF  0"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  发送数据：  41  42  FF  0")), kBlack);
}

void TstForm1::sendBeyondLimitsIsRefused()
{
    open();
    w->OptSend[1]->setChecked(true);
    w->TxtSend->setMaxLength(10000);
    // 256 tokens; a token followed by a space beyond the 255th character.
    const QString texts[] = {QStringList(256, QStringLiteral("1")).join(u' '), QString(255, u'1') + QStringLiteral(" 2")};
    for (const QString &text : texts) {
        w->CmdClear_Click();
        w->TxtSend->setText(text);
        w->CmdClose->setFocus();
        w->CmdSend_Click();
        // One red entry, no dialog, nothing sent; the text stays to be
        // shortened, with the focus on it.
        QVERIFY(notices.isEmpty());
        QCOMPARE(fake->output.size(), 0);
        QVERIFY(log().endsWith(QStringLiteral("\nT  发送字节超出限制：最多255个字节，每段不超过254个字符")));
        QCOMPARE(log().count(u'\n'), 1);
        QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  发送字节超出限制")), kRed);
        QCOMPARE(w->TxtSend->text(), text);
        QCOMPARE(QApplication::focusWidget(), w->TxtSend);
    }
}

void TstForm1::sendFailureIsLoggedInRed()
{
    open();
    fake->failOutputWith = QStringLiteral("Input/output error");
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  Input/output error"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  Input/output error")), kRed);
    QVERIFY(w->CmdSend->isEnabled());
    // Bytes are logged before they are handed over.
    w->OptSend[1]->setChecked(true);
    w->TxtSend->setText(QStringLiteral("41"));
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    QVERIFY(log().endsWith(QStringLiteral("\nT  发送数据：  41\nT  Input/output error")));
}

void TstForm1::commEvents_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("1001") << 1001 << "  接收到一个中断信号";
    QTest::newRow("1002") << 1002 << "  Clear To Send 超时";
    QTest::newRow("1003") << 1003 << "  Data Set Ready 超时";
    QTest::newRow("1004") << 1004 << "  帧错误";
    QTest::newRow("1005 unknown") << 1005 << "  未知错误或事件";
    QTest::newRow("1006") << 1006 << "  端口超速";
    QTest::newRow("1007") << 1007 << "  载波检测超时";
    QTest::newRow("1008") << 1008 << "  接受缓冲区溢出";
    QTest::newRow("1009") << 1009 << "  奇偶校验";
    QTest::newRow("1010") << 1010 << "  传输缓冲区已满";
    QTest::newRow("1011") << 1011 << "  检索端口的设备控制块 (DCB) 时的意外错误";
    QTest::newRow("6") << 6 << "  检测到响铃信号";
    QTest::newRow("7") << 7 << "  收到文件结束符";
    QTest::newRow("8 unknown") << 8 << "  未知错误或事件";
    QTest::newRow("0 unknown") << 0 << "  未知错误或事件";
}

void TstForm1::commEvents()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    open();
    fake->raise(code);
    QTRY_COMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT") + message);
    QCOMPARE(colourOf(w->TxtMsg, message), kRed);
    for (Lamp *l : {w->ShpSend, w->ShpArrv, w->ShpRTS, w->ShpDTR, w->ShpCD})
        QCOMPARE(l->BackColor(), kBlack);
}

void TstForm1::sendEventFlashesTheLamp()
{
    open();
    fake->raise(MSComm::comEvSend);
    QTRY_COMPARE(w->ShpSend->BackColor(), kRed);
    QVERIFY(w->TimeSend->isActive());
    QTRY_COMPARE(w->ShpSend->BackColor(), kBlack);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功"));
}

void TstForm1::lineEventsFollowTheLevel()
{
    open();
    fake->cts = true;
    fake->raise(MSComm::comEvCTS);
    fake->dsr = true;
    fake->raise(MSComm::comEvDSR);
    fake->cd = true;
    fake->raise(MSComm::comEvCD);
    QTRY_COMPARE(w->ShpCD->BackColor(), kRed);
    QCOMPARE(w->ShpRTS->BackColor(), kRed);
    QCOMPARE(w->ShpDTR->BackColor(), kRed);
    // Two changes in quick succession: both events read the level now.
    fake->raise(MSComm::comEvCTS);
    fake->raise(MSComm::comEvCTS);
    fake->cts = false;
    QTRY_COMPARE(w->ShpRTS->BackColor(), kBlack);
    deliverQueuedEvents();
    QCOMPARE(w->ShpRTS->BackColor(), kBlack);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功"));
}

void TstForm1::receiveTextAfterSettle()
{
    open();
    fake->inBuffer = "line one\r\nline two <i>";
    bool lampLit = false, receiving = false;
    // More of the burst arrives during the pause and is read with it.
    duringSettle([&] {
        lampLit = w->ShpArrv->isLit();
        receiving = w->Receiving;
        fake->inBuffer += "</i>";
    });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("接收文本")));
    QVERIFY(lampLit && receiving);
    QVERIFY(!w->Receiving);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  接收文本：  line one\nline two <i></i>"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  接收文本：  line one")), kBlack);
    QCOMPARE(fake->inBuffer, QByteArray());
}

void TstForm1::receiveBytesAfterSettle()
{
    open();
    QTest::mouseClick(w->OptArrv[1], Qt::LeftButton);
    fake->inBuffer = QByteArray("\x00\xFF\x0D", 3);
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("接收数据")));
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  接收数据：  0  FF  D"));

    // A burst far beyond 32767 bytes is listed whole.
    fake->inBuffer = QByteArray(100000, 'A');
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY_WITH_TIMEOUT(logText(w->TxtMsg).endsWith(QStringLiteral("  41").repeated(100000)), 10000);
    QVERIFY(!w->Receiving);
}

void TstForm1::receiveNestedEventOnlyRelights()
{
    open();
    fake->inBuffer = "abc";
    duringSettle([&] {
        fake->inBuffer += "def";
        fake->raise(MSComm::comEvReceive); // handled inside the pause
        fake->raise(MSComm::comEventFrame); // logged before the data that came first
    });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("接收文本")));
    deliverQueuedEvents();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  帧错误\nT  接收文本：  abcdef"));
}

void TstForm1::receiveEmptyBufferReadsAtOnce()
{
    open();
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  ")));
    QVERIFY(!w->Receiving);
    QTest::mouseClick(w->OptArrv[1], Qt::LeftButton);
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().endsWith(QStringLiteral("\nT  接收数据：")));
}

void TstForm1::fullBufferIsReadAtOnce()
{
    // The control holds all it can: it takes no more until read, so there
    // is nothing to wait for. The entry is written before any other event
    // is handled.
    open();
    fake->inBufferSize = 8;
    fake->inBuffer = "12345678";
    bool otherEventRan = false;
    QMetaObject::invokeMethod(w, [&] { otherEventRan = true; }, Qt::QueuedConnection);
    fake->event = MSComm::comEvReceive;
    w->MSComm1_OnComm();
    QVERIFY(!otherEventRan);
    QVERIFY(log().endsWith(QStringLiteral("T  接收文本：  12345678")));
    QVERIFY(!w->Receiving);
}

void TstForm1::bufferFilledDuringSettleEndsIt()
{
    // On a clock that never moves only the full buffer can end the settle.
    FrozenClock frozen;
    Clock::install(&frozen);
    open();
    fake->inBufferSize = 8;
    fake->inBuffer = "1234";
    duringSettle([&] {
        fake->inBuffer += "5678";
        fake->raise(MSComm::comEvReceive); // as the control does when more comes
    });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().endsWith(QStringLiteral("T  接收文本：  12345678")));
    QTRY_VERIFY(!w->Receiving);
    // Below the bound a nested arrival only relights the lamp (the settle
    // goes on; the clock then decides).
    Clock::install(&clock);
    fake->inBufferSize = 1 << 20;
    receive("more");
    QVERIFY(log().endsWith(QStringLiteral("T  接收文本：  more")));
}

void TstForm1::closeDuringSettleLogsDataFirst()
{
    open();
    fake->inBuffer = "pending";
    duringSettle([&] { QTest::mouseClick(w->CmdClose, Qt::LeftButton); });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("关闭端口")));
    QTRY_VERIFY(!w->Receiving);
    deliverQueuedEvents();
    // What had come stands once, before the close; the settling collection
    // then finds the port closed and writes nothing.
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  接收文本：  pending\nT 关闭端口\n"));

    // After reopening, the next arrival starts a fresh collection.
    open();
    fake->inBuffer = "fresh";
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  fresh")));
}

void TstForm1::closeTakesWhatIsPastTheBound()
{
    // What waits beyond what a collection reads (in the system, or past the
    // bound) arrived before the close too.
    open();
    fake->inBuffer = "in the buffer, ";
    fake->held = "and beyond it";
    w->CmdClose_Click();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  接收文本：  in the buffer, and beyond it\nT 关闭端口\n"));
    // Nothing held: the close writes its line alone.
    open();
    w->CmdClose_Click();
    QVERIFY(log().endsWith(QStringLiteral("成功\nT 关闭端口\n")));
}

void TstForm1::receiveModeSwitchedDuringSettle()
{
    open();
    fake->inBuffer = "AB";
    duringSettle([&] { QTest::mouseClick(w->OptArrv[1], Qt::LeftButton); });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("接收数据")));
    QVERIFY(log().endsWith(QStringLiteral("\nT  接收数据：  41  42")));
}

void TstForm1::lostDeviceIsReportedOnce()
{
    open();
    fake->open = false;
    emit fake->linkFailed(QStringLiteral("/dev/ttyUSB0: device removed"), 0);
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  /dev/ttyUSB0: device removed"));
    QCOMPARE(colourOf(w->TxtMsg, QStringLiteral("  /dev/ttyUSB0: device removed")), kRed);
    QCOMPARE(w->ShpOpen->BackColor(), kBlack);
    QVERIFY(w->CmdClose->isEnabled());
    QTest::mouseClick(w->CmdClose, Qt::LeftButton);
    QVERIFY(w->CmdOpen->isEnabled() && !w->CmdClose->isEnabled());
}

void TstForm1::lostDeviceDuringSettleLogsDataFirst()
{
    open();
    fake->inBuffer = "last words";
    duringSettle([&] {
        // The control closed the port and kept what came before the failure.
        fake->open = false;
        emit fake->linkFailed(QStringLiteral("/dev/ttyUSB0: device removed"), 0);
    });
    fake->raise(MSComm::comEvReceive);
    QTRY_VERIFY(log().contains(QStringLiteral("device removed")));
    QTRY_VERIFY(!w->Receiving);
    deliverQueuedEvents();
    QCOMPARE(log(), QStringLiteral("T  启动程序\nT 打开端口：COM1……成功\nT  接收文本：  last words\nT  /dev/ttyUSB0: device removed"));
}

void TstForm1::textAcrossReads_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("entries");
    const QString r(QChar(0xFFFD));
    QTest::newRow("cut, then not continued") << QList<QByteArray>{"\xC3", "hello"} << QStringList{"", r + "hello"};
    QTest::newRow("cut, then a character of its own")
        << QList<QByteArray>{"\xE3", "\xE3\x81\x82"} << QStringList{"", r + QStringLiteral("あ")};
    QTest::newRow("cut, then completed") << QList<QByteArray>{"t=2\xE2\x84", "\x83 ok"} << QStringList{"t=2", QStringLiteral("℃ ok")};
}

void TstForm1::textAcrossReads()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, entries);
    open();
    for (const QByteArray &read : reads)
        receive(read);
    QStringList got;
    for (const QString &line : log().split(u'\n'))
        if (line.startsWith(QStringLiteral("T  接收文本：  ")))
            got << line.mid(QStringLiteral("T  接收文本：  ").size());
    QCOMPARE(got, entries);
}

void TstForm1::heldBytesLeadTheListingAfterSwitch()
{
    open();
    receive("ok\xE6\x95");
    QVERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  ok")));
    QTest::mouseClick(w->OptArrv[1], Qt::LeftButton);
    receive("\xB0\x41");
    QVERIFY(log().endsWith(QStringLiteral("\nT  接收数据：  E6  95  B0  41")));
    // Byte mode holds nothing back: back in text mode the rest of a
    // character listed as bytes is invalid on its own.
    receive("\xE6");
    QTest::mouseClick(w->OptArrv[0], Qt::LeftButton);
    receive("\x95\xB0");
    QVERIFY(log().endsWith(QStringLiteral("\nT  接收数据：  E6\nT  接收文本：  \uFFFD\uFFFD")));
}

void TstForm1::heldBytesShowAtTheEnd_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::newRow("closed by the user") << true;
    QTest::newRow("device lost") << false;
}

void TstForm1::heldBytesShowAtTheEnd()
{
    QFETCH(bool, byUser);
    open();
    receive("ok\xE6\x95");
    if (byUser) {
        QTest::mouseClick(w->CmdClose, Qt::LeftButton);
        QVERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  ok\nT  接收文本：  \uFFFD\nT 关闭端口\n")));
    } else {
        fake->open = false;
        emit fake->linkFailed(QStringLiteral("gone"), 0);
        QVERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  ok\nT  接收文本：  \uFFFD\nT  gone")));
    }
    // A fresh port starts with nothing held.
    if (!byUser)
        QTest::mouseClick(w->CmdClose, Qt::LeftButton);
    open();
    receive("\xB0");
    QVERIFY(log().endsWith(QStringLiteral("\nT  接收文本：  \uFFFD")));
}

void TstForm1::portMenuBindsTheSelectedEntry()
{
    QTemporaryDir tree;
    makeDevices(tree, {"ttyUSB0", "ttyACM0"});
    const ConfigHome home(tree.filePath("config")); // no folder yet
    linkedWindow(tree.path());
    const QString usb = tree.filePath("dev/ttyUSB0"), acm = tree.filePath("dev/ttyACM0");
    const QString link = tree.filePath("config/comm/com2");
    w->CmbPort->setCurrentIndex(1);
    QCOMPARE(itemStates(w->portMenu()), (QStringList{"绑定到设备", usb, acm, "其他设备…", "", "解除绑定 (off)", "", "拔出后自动重连"}));

    item(w->portMenu(), usb)->trigger();
    QCOMPARE(QFile::symLinkTarget(link), usb);
    // The tips show it at once; the other entries keep theirs.
    QCOMPARE(w->CmbPort->toolTip(), usb);
    QCOMPARE(w->CmbPort->itemData(1, Qt::ToolTipRole).toString(), usb);
    QCOMPARE(w->CmbPort->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS0"));
    QVERIFY(item(w->portMenu(), usb)->isChecked());

    item(w->portMenu(), acm)->trigger();
    QCOMPARE(QFile::symLinkTarget(link), acm);
    QCOMPARE(w->CmbPort->toolTip(), acm);
    QVERIFY(!item(w->portMenu(), usb)->isChecked() && item(w->portMenu(), acm)->isChecked());

    item(w->portMenu(), QStringLiteral("解除绑定"))->trigger();
    QVERIFY(!QFileInfo(link).isSymLink());
    QCOMPARE(w->CmbPort->toolTip(), QStringLiteral("/dev/ttyS1"));
    QVERIFY(!item(w->portMenu(), QStringLiteral("解除绑定"))->isEnabled());
    QVERIFY(notices.isEmpty());
    QCOMPARE(log(), QStringLiteral("T  启动程序"));
}

void TstForm1::portMenuWithoutDevices()
{
    QTemporaryDir tree;
    w->deviceRoot = tree.path();
    QCOMPARE(itemStates(w->portMenu()),
             (QStringList{"绑定到设备", "未找到串口设备 (off)", "其他设备…", "", "解除绑定 (off)", "", "拔出后自动重连"}));
}

// "其他设备…" binds any character device the user names (a pty, a name
// udev made), and refuses anything else with the reason.
void TstForm1::otherDeviceBindsCharacterDevices()
{
    QTemporaryDir tree;
    const ConfigHome home(tree.filePath("config"));
    linkedWindow(tree.path());
    QFile plain(tree.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    // A link to a character device, as udev makes them.
    const QString named = tree.filePath("byid");
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), named));
    const QString link = tree.filePath("config/comm/com1");
    const auto bindTo = [&](const QString &path) {
        item(w->portMenu(), QStringLiteral("其他设备…"))->trigger();
        auto *dialog = w->findChild<DevicePathDialog *>();
        QVERIFY(dialog);
        dialog->PathBox->setText(path);
        dialog->accept();
        QTRY_VERIFY(!w->findChild<DevicePathDialog *>());
    };
    bindTo(named);
    QCOMPARE(QFile::symLinkTarget(link), named);
    QCOMPARE(w->CmbPort->toolTip(), named);
    QVERIFY(notices.isEmpty());

    bindTo(plain.fileName());
    bindTo(tree.filePath("missing"));
    QCOMPARE(notices, (QStringList{"提示|无法绑定端口：COM1\n" + plain.fileName()
                                       + ": not a character device (a serial port is one)",
                                   "提示|无法绑定端口：COM1\n" + tree.filePath("missing") + ": " + systemError(ENOENT)}));
    QCOMPARE(QFile::symLinkTarget(link), named); // left as it was
}

void TstForm1::portMenuIdleWhileOpen()
{
    QTemporaryDir tree;
    makeDevices(tree, {"ttyUSB0", "ttyACM0"});
    const ConfigHome home(tree.path());
    linkedWindow(tree.path());
    const QString usb = tree.filePath("dev/ttyUSB0"), acm = tree.filePath("dev/ttyACM0");
    // What pops up when the menu is asked for, closed again.
    QWidget *shown = nullptr;
    bool looked = false;
    const auto watch = [&] {
        shown = nullptr;
        looked = false;
        QTimer::singleShot(0, w, [&] {
            looked = true;
            if ((shown = QApplication::activePopupWidget()))
                shown->close();
        });
    };
    watch();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5), w->CmbPort->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w->CmbPort, &request);
    QTRY_VERIFY(looked);
    QCOMPARE(shown, w->portMenu());

    item(w->portMenu(), usb)->trigger();
    QMenu *before = w->portMenu(); // built while closed
    open();
    item(before, acm)->trigger();
    item(before, QStringLiteral("解除绑定"))->trigger();
    QCOMPARE(SerialDevice::named(1), usb);
    QCOMPARE(itemStates(w->portMenu()),
             (QStringList{"绑定到设备", usb + " (off)", acm + " (off)", "其他设备… (off)", "", "解除绑定 (off)", "",
                          "拔出后自动重连"}));
    watch();
    emit w->CmbPort->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(looked);
    QCOMPARE(shown, nullptr);
}

void TstForm1::linkFailureShowsNotice_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("a file in the folder's place") << false;
    QTest::newRow("read-only folder") << true;
}

void TstForm1::linkFailureShowsNotice()
{
    QFETCH(bool, readOnly);
    if (readOnly && geteuid() == 0)
        QSKIP("root writes into a read-only folder");
    QTemporaryDir tree;
    makeDevices(tree, {"ttyUSB0"});
    const ConfigHome home(tree.path());
    const QString folder = tree.filePath("comm");
    if (readOnly) {
        QVERIFY(QDir().mkpath(folder) && QFile::link("/dev/ttyACM9", folder + "/com1"));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QFile in(folder);
        QVERIFY(in.open(QIODevice::WriteOnly));
    }
    linkedWindow(tree.path());
    const QString before = w->CmbPort->toolTip();
    item(w->portMenu(), tree.filePath("dev/ttyUSB0"))->trigger();
    if (readOnly)
        item(w->portMenu(), QStringLiteral("解除绑定"))->trigger();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(notices.size(), readOnly ? 2 : 1);
    QVERIFY2(notices[0].startsWith("提示|无法绑定端口：COM1\n" + folder + ": "), qPrintable(notices[0]));
    if (readOnly)
        QVERIFY2(notices[1].startsWith("提示|无法解除绑定：COM1\n" + folder + "/com1: "), qPrintable(notices[1]));
    QCOMPARE(w->CmbPort->toolTip(), before);
    QCOMPARE(log(), QStringLiteral("T  启动程序"));
}

QTEST_MAIN(TstForm1)
#include "tst_form1.moc"
