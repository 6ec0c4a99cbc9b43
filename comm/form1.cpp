// SPDX-License-Identifier: MIT
#include "form1.h"

#include "devicelist.h"
#include "guard.h"
#include "lamp.h"
#include "linedialogs.h"
#include "linkerror.h"
#include "logpane.h"
#include "messagebox.h"
#include "portwatch.h"
#include "mscomm.h"
#include "serialdevice.h"
#include "timestamp.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace {

QComboBox *makeList(QWidget *parent, const QStringList &items)
{
    auto *box = new QComboBox(parent);
    box->setEditable(false);
    box->addItems(items);
    box->setMaxVisibleItems(int(items.size()));
    return box;
}

QLabel *makeLabel(QWidget *parent, const QString &caption, const QRect &rect)
{
    auto *label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(rect);
    return label;
}

bool ticked(const QCheckBox *box)
{
    // A greyed box counts as set.
    return box->checkState() != Qt::Unchecked;
}

QString levelName(bool high)
{
    return high ? QStringLiteral("高电平") : QStringLiteral("低电平");
}

} // namespace

const QStringList Form1::kPorts = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                                   QStringLiteral("COM4")};
const QStringList Form1::kSpeeds = {QStringLiteral("300"),    QStringLiteral("600"),    QStringLiteral("1200"),
                                    QStringLiteral("2400"),   QStringLiteral("4800"),   QStringLiteral("9600"),
                                    QStringLiteral("14400"),  QStringLiteral("19200"),  QStringLiteral("28800"),
                                    QStringLiteral("38400"),  QStringLiteral("56000"),  QStringLiteral("57600"),
                                    QStringLiteral("115200"), QStringLiteral("128000"), QStringLiteral("256000")};
const QStringList Form1::kParities = {QStringLiteral("E"), QStringLiteral("M"), QStringLiteral("N"), QStringLiteral("O"),
                                      QStringLiteral("S")};
const QStringList Form1::kDataBits = {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                                      QStringLiteral("8")};
const QStringList Form1::kStopBits = {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
const QStringList Form1::kHandshakes = {QStringLiteral("None"), QStringLiteral("Xon/Xoff"), QStringLiteral("RTS/CTS"),
                                        QStringLiteral("By All")};

Form1::Form1(MSComm *control, QWidget *parent) : ConsoleWindow(*control, parent), MSComm1(control)
{
    MSComm1->setParent(this);
    // Beside the COM links.
    setConfigFolder(SerialDevice::linkDirectory());
    setWindowTitle(QStringLiteral("串口通讯测试(Quelt)"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/comm-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/comm-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    setClientArea(8910, 6780);
    buildControls();
    setTabOrderChain();
    buildLineActions();

    onSignal(CmdOpen, &QPushButton::clicked, [this] { CmdOpen_Click(); });
    onSignal(CmdClose, &QPushButton::clicked, [this] { CmdClose_Click(); });
    onSignal(CmdSetDefault, &QPushButton::clicked, [this] { CmdSetDefault_Click(); });
    for (int i = 0; i < 2; ++i)
        onSignal(OptArrv[i], &QRadioButton::clicked, [this, i] { OptArrv_Click(i); });
    onSignal(MSComm1, &MSComm::OnComm, [this] { MSComm1_OnComm(); });
    onSignal(MSComm1, &MSComm::linkFailed,
             [this](const QString &description, qint64 unsent) { MSComm1_Failed(description, unsent); });
    // A carriage return ends a text payload while the box is not clear.
    connect(ChkSend, &QCheckBox::stateChanged, this,
            [this] { setAppendsCr(ticked(ChkSend)); });
    CmbPort->installEventFilter(this);
    refreshPortTips();
    CmbPort->setContextMenuPolicy(Qt::CustomContextMenu);
    onSignal(CmbPort, &QWidget::customContextMenuRequested, [this](const QPoint &at) {
        // The open port keeps the device it opened: nothing to bind then.
        if (MSComm1->PortOpen())
            return;
        portMenu()->exec(CmbPort->mapToGlobal(at));
    });

    auto *otherSpeed = new QAction(QStringLiteral("其他速率…"), CmbSpeed);
    CmbSpeed->addAction(otherSpeed);
    CmbSpeed->setContextMenuPolicy(Qt::ActionsContextMenu);
    onSignal(otherSpeed, &QAction::triggered, [this] { chooseOtherSpeed(); });

    Form_Load();
}

void Form1::buildLineActions()
{
    const auto action = [this](const QString &text, const QKeySequence &key) {
        auto *a = new QAction(text, this);
        a->setShortcut(key);
        // The keys work wherever the focus is in the window.
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        Frame4->addAction(a);
        return a;
    };
    const auto separator = [this] {
        auto *a = new QAction(this);
        a->setSeparator(true);
        Frame4->addAction(a);
    };
    ActDTR = action(QStringLiteral("DTR"), QKeySequence(Qt::CTRL | Qt::Key_D));
    ActDTR->setCheckable(true);
    ActRTS = action(QStringLiteral("RTS"), QKeySequence(Qt::CTRL | Qt::Key_R));
    ActRTS->setCheckable(true);
    separator();
    ActPulse = action(QStringLiteral("DTR 脉冲"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    ActBreak = action(QStringLiteral("发送中断信号"), QKeySequence(Qt::CTRL | Qt::Key_B));
    separator();
    ActTiming = action(QStringLiteral("脉冲与中断时长…"), QKeySequence());
    separator();
    ActReconnect = action(QStringLiteral("拔出后自动重连"), QKeySequence());
    ActReconnect->setCheckable(true);
    m_watch = new PortWatch(this);
    // The lamps and their tip areas pass the menu on to their strip.
    Frame4->setContextMenuPolicy(Qt::ActionsContextMenu);

    m_pulseTimer = new QTimer(this);
    m_breakTimer = new QTimer(this);
    // The line's timing is the device's, not the log's: real milliseconds.
    for (QTimer *timer : {m_pulseTimer, m_breakTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    onSignal(ActDTR, &QAction::triggered, [this] { toggleDTR(); });
    onSignal(ActRTS, &QAction::triggered, [this] { toggleRTS(); });
    onSignal(ActPulse, &QAction::triggered, [this] { pulseDTR(); });
    onSignal(ActBreak, &QAction::triggered, [this] { sendBreak(); });
    onSignal(ActTiming, &QAction::triggered, [this] { chooseLineTiming(); });
    onSignal(ActReconnect, &QAction::triggered, [this](bool on) { setReconnect(on); });
    onSignal(m_pulseTimer, &QTimer::timeout, [this] { endPulse(); });
    onSignal(m_breakTimer, &QTimer::timeout, [this] { endBreak(); });
    updateLineActions();
}

void Form1::updateLineActions()
{
    const bool open = MSComm1->PortOpen();
    for (QAction *a : {ActDTR, ActRTS, ActPulse, ActBreak})
        a->setEnabled(open);
    ActDTR->setChecked(ticked(ChkDTR));
    ActRTS->setChecked(ticked(ChkRTS));
}

void Form1::setOutputLine(const QString &line, bool high, QCheckBox *box, void (MSComm::*set)(bool))
{
    try {
        (MSComm1->*set)(high);
    } catch (const LinkError &e) {
        appendEntry(kRed, QStringLiteral("  ") + line + QStringLiteral(" 置为") + levelName(high) + QStringLiteral("失败：")
                              + e.description());
        updateLineActions();
        return;
    }
    box->setCheckState(high ? Qt::Checked : Qt::Unchecked);
    appendEntry(kBlack, QStringLiteral("  ") + line + QStringLiteral(" 置为") + levelName(high));
    updateLineActions();
}

void Form1::toggleDTR()
{
    // A pulse under way is overruled by the new level.
    m_pulseTimer->stop();
    setOutputLine(QStringLiteral("DTR"), !ticked(ChkDTR), ChkDTR, &MSComm::setDTRLine);
}

void Form1::toggleRTS()
{
    setOutputLine(QStringLiteral("RTS"), !ticked(ChkRTS), ChkRTS, &MSComm::setRTSLine);
}

void Form1::startTimedAction(QTimer *timer, int ms, void (MSComm::*set)(bool), bool level, const QString &action,
                             const QString &how)
{
    if (timer->isActive())
        return;
    try {
        (MSComm1->*set)(level);
    } catch (const LinkError &e) {
        appendEntry(kRed, QStringLiteral("  ") + action + QStringLiteral("失败：") + e.description());
        return;
    }
    appendEntry(kBlack, QStringLiteral("  ") + action + QStringLiteral("：") + how);
    timer->start(ms);
}

void Form1::pulseDTR()
{
    startTimedAction(m_pulseTimer, m_pulseMs, &MSComm::setDTRLine, false, QStringLiteral("DTR 脉冲"),
                     QStringLiteral("低电平 %1 毫秒，然后高电平").arg(m_pulseMs));
}

bool Form1::endTimedAction(void (MSComm::*set)(bool), bool level, const QString &failed)
{
    // A port closed meanwhile ended it already.
    if (!MSComm1->PortOpen())
        return false;
    try {
        (MSComm1->*set)(level);
    } catch (const LinkError &e) {
        appendEntry(kRed, QStringLiteral("  ") + failed + QStringLiteral("失败：") + e.description());
        return false;
    }
    return true;
}

void Form1::endPulse()
{
    // DTR high again, or left low where that failed: the box shows which.
    const bool high = endTimedAction(&MSComm::setDTRLine, true, QStringLiteral("DTR 脉冲"));
    if (MSComm1->PortOpen())
        ChkDTR->setCheckState(high ? Qt::Checked : Qt::Unchecked);
    updateLineActions();
}

void Form1::sendBreak()
{
    startTimedAction(m_breakTimer, m_breakMs, &MSComm::setBreak, true, QStringLiteral("发送中断信号"),
                     QStringLiteral("%1 毫秒").arg(m_breakMs));
}

void Form1::endBreak()
{
    endTimedAction(&MSComm::setBreak, false, QStringLiteral("结束中断信号"));
}

void Form1::setReconnect(bool on)
{
    m_reconnect = on;
    ActReconnect->setChecked(on);
    if (!on && m_watch->watching()) {
        m_watch->stop();
        appendEntry(kBlack, QStringLiteral("  停止等待设备重新接入"));
    } else if (on && !m_gone.isEmpty() && !m_watch->watching()) {
        // The device is gone already: wait for it from now.
        watchForTheDevice();
    }
}

void Form1::watchForTheDevice()
{
    const QString path = SerialDevice::named(CmbPort->currentIndex() + 1);
    appendEntry(kBlack, QStringLiteral("  等待设备重新接入：") + path);
    m_watch->start(path, [this] {
        bool opened = false;
        guarded([&] { opened = reopen(); });
        return opened;
    });
}

bool Form1::reopen()
{
    if (MSComm1->PortOpen())
        return true;
    try {
        // With the settings it had: the control keeps them, and the window
        // kept its open-port form meanwhile.
        MSComm1->setPortOpen(true);
    } catch (const LinkError &) {
        return false; // not yet (udev still at work, or taken): tried again
    }
    if (!MSComm1->PortOpen())
        return false;
    m_gone.clear();
    // The ordinary open line, before anything the device sends.
    appendOpenEntry();
    showPortOpen();
    updateLineActions();
    AppendLog(kBlue, QStringLiteral("成功"));
    return true;
}

void Form1::stopLineTimers()
{
    m_pulseTimer->stop();
    m_breakTimer->stop();
}

void Form1::setLineTiming(int pulseMs, int breakMs)
{
    m_pulseMs = std::clamp(pulseMs, LineTimingDialog::kLeastMs, LineTimingDialog::kMostMs);
    m_breakMs = std::clamp(breakMs, LineTimingDialog::kLeastMs, LineTimingDialog::kMostMs);
}

void Form1::chooseLineTiming()
{
    auto *dialog = new LineTimingDialog(m_pulseMs, m_breakMs, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { setLineTiming(dialog->pulseMs(), dialog->breakMs()); });
    dialog->open();
}

void Form1::useSpeed(qint32 rate)
{
    const QString text = QString::number(rate);
    int at = CmbSpeed->findText(text);
    if (at < 0) {
        // In order among the others, so the list reads as a scale.
        at = 0;
        while (at < CmbSpeed->count() && CmbSpeed->itemText(at).toLongLong() < rate)
            ++at;
        CmbSpeed->insertItem(at, text);
        CmbSpeed->setMaxVisibleItems(CmbSpeed->count());
    }
    CmbSpeed->setCurrentIndex(at);
}

void Form1::chooseOtherSpeed()
{
    auto *dialog = new SpeedDialog(CmbSpeed->currentText().toInt(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        // The list is locked while the port is open.
        if (CmbSpeed->isEnabled())
            useSpeed(dialog->rate());
    });
    dialog->open();
}

void Form1::buildControls()
{
    Frame1 = new QGroupBox(QStringLiteral("通讯设置："), this);
    Frame1->setGeometry(twRect(120, 0, 8655, 1095));
    Label1[0] = makeLabel(Frame1, QStringLiteral("端口："), twRect(420, 360, 540, 180));
    CmbPort = makeList(Frame1, kPorts);
    CmbPort->setGeometry(twRect(960, 270, 1095, 300));
    Label1[1] = makeLabel(Frame1, QStringLiteral("波特率："), twRect(2280, 360, 720, 180));
    CmbSpeed = makeList(Frame1, kSpeeds);
    CmbSpeed->setGeometry(twRect(3000, 270, 1095, 300));
    ChkDTR = new QCheckBox(QStringLiteral("DTR有效"), Frame1);
    ChkDTR->setGeometry(twRect(4320, 300, 975, 255));
    ChkRTS = new QCheckBox(QStringLiteral("RTS有效"), Frame1);
    ChkRTS->setGeometry(twRect(5400, 300, 975, 255));
    ChkEof = new QCheckBox(QStringLiteral("EOF有效"), Frame1);
    ChkEof->setGeometry(twRect(6480, 300, 975, 255));
    CmdSetDefault = new QPushButton(QStringLiteral("<默认>"), Frame1);
    CmdSetDefault->setGeometry(twRect(7560, 240, 855, 300));
    Label1[3] = makeLabel(Frame1, QStringLiteral("校验位："), twRect(240, 720, 720, 180));
    CmbJY = makeList(Frame1, kParities);
    CmbJY->setGeometry(twRect(960, 660, 1095, 300));
    Label1[2] = makeLabel(Frame1, QStringLiteral("数据位："), twRect(2280, 720, 720, 180));
    CmbSJ = makeList(Frame1, kDataBits);
    CmbSJ->setGeometry(twRect(3000, 660, 1095, 300));
    Label1[4] = makeLabel(Frame1, QStringLiteral("停止位："), twRect(4320, 720, 720, 180));
    CmbTZ = makeList(Frame1, kStopBits);
    CmbTZ->setGeometry(twRect(5040, 660, 1095, 300));
    Label1[5] = makeLabel(Frame1, QStringLiteral("握手协议："), twRect(6420, 720, 900, 180));
    CmbXY = makeList(Frame1, kHandshakes);
    CmbXY->setGeometry(twRect(7320, 660, 1095, 300));

    Frame4 = new QGroupBox(this);
    Frame4->setGeometry(twRect(240, 1140, 2175, 375));
    ShpOpen = new Lamp;
    ShpDTR = new Lamp;
    ShpRTS = new Lamp;
    ShpCD = new Lamp;
    placeLampStrip(Frame4, {{ShpOpen, &Shape5, &Image1[0], QStringLiteral("端口打开指示")},
                            {ShpDTR, &Shape6, &Image1[1], QStringLiteral("DSR指示")},
                            {ShpRTS, &Shape7, &Image1[2], QStringLiteral("RTS指示")},
                            {ShpCD, &Shape8, &Image1[3], QStringLiteral("载波连接指示")},
                            {ShpSend, &Shape9, &Image1[4], QStringLiteral("发送指示")},
                            {ShpArrv, &Shape10, &Image1[5], QStringLiteral("接收指示")}});

    CmdOpen = new QPushButton(QStringLiteral("打开端口"), this);
    CmdOpen->setGeometry(twRect(2640, 1200, 1095, 420));
    CmdSend->setText(QStringLiteral("发送信息"));
    CmdSend->setGeometry(twRect(3840, 1200, 1095, 420));
    CmdClose = new QPushButton(QStringLiteral("关闭端口"), this);
    CmdClose->setGeometry(twRect(5040, 1200, 1095, 420));
    CmdClose->setEnabled(false);
    CmdClear->setText(QStringLiteral("清除信息"));
    CmdClear->setGeometry(twRect(6360, 1200, 1095, 420));
    CmdQuit->setGeometry(twRect(7560, 1200, 1095, 420));
    // Enter on a focused button presses that button, as on the desktop.
    for (QPushButton *b : {CmdSetDefault, CmdOpen, CmdSend, CmdClose, CmdClear, CmdQuit})
        b->setAutoDefault(true);
    CmdSend->setDefault(true);

    Frame3 = new QGroupBox(QStringLiteral("发送选项："), this);
    Frame3->setGeometry(twRect(120, 1680, 6975, 1095));
    OptSend[0]->setParent(Frame3);
    OptSend[0]->setGeometry(twRect(360, 300, 1095, 255));
    OptSend[1]->setParent(Frame3);
    OptSend[1]->setGeometry(twRect(1440, 300, 3135, 255));
    ChkSend = new QCheckBox(QStringLiteral("文本末尾附加回车符"), Frame3);
    // As tall as the option buttons beside it, so the row lines up.
    ChkSend->setGeometry(twRect(4680, 300, 1935, 255));
    Label2->setParent(Frame3);
    Label2->setGeometry(twRect(360, 720, 540, 180));
    TxtSend->setParent(Frame3);
    TxtSend->setGeometry(twRect(840, 660, 5895, 270));

    Frame2 = new QGroupBox(QStringLiteral("接收选项："), this);
    Frame2->setGeometry(twRect(7200, 1680, 1575, 1095));
    OptArrv[0]->setParent(Frame2);
    OptArrv[0]->setGeometry(twRect(240, 360, 1095, 255));
    OptArrv[1]->setParent(Frame2);
    OptArrv[1]->setGeometry(twRect(240, 660, 1095, 255));

    TxtMsg->setGeometry(twRect(120, 2880, 8655, 3810));

    // Each field is labelled by its label: a screen reader says the label
    // with the field. On Linux Qt names a list by its current value and
    // leaves its label to this relation, as the desktop's own lists do.
    Label1[0]->setBuddy(CmbPort);
    Label1[1]->setBuddy(CmbSpeed);
    Label1[2]->setBuddy(CmbSJ);
    Label1[3]->setBuddy(CmbJY);
    Label1[4]->setBuddy(CmbTZ);
    Label1[5]->setBuddy(CmbXY);
    Label2->setBuddy(TxtSend);
    TxtMsg->setAccessibleName(QStringLiteral("信息"));

    for (QLabel *label : {Label1[0], Label1[1], Label1[2], Label1[3], Label1[4], Label1[5], Label2})
        growToCaption(label, 2 * label->width(), true);
    // Each box may grow up to the next control on its row.
    growToCaption(ChkDTR, tw(5400 - 4320));
    growToCaption(ChkRTS, tw(6480 - 5400));
    growToCaption(ChkEof, tw(7560 - 6480));
    growToCaption(OptSend[0], tw(1440 - 360));
    growToCaption(OptSend[1], tw(4680 - 1440));
    growToCaption(ChkSend, tw(6975 - 60 - 4680));
    growToCaption(OptArrv[0], tw(1575 - 60 - 240));
    growToCaption(OptArrv[1], tw(1575 - 60 - 240));
}

void Form1::setTabOrderChain()
{
    QWidget *chain[] = {CmbPort, CmbSpeed, ChkDTR, ChkRTS, ChkEof, CmdSetDefault, CmbJY, CmbSJ, CmbTZ, CmbXY,
                        CmdOpen, CmdSend, CmdClose, CmdClear, CmdQuit, OptSend[0], OptSend[1], ChkSend, TxtSend,
                        OptArrv[0], OptArrv[1], TxtMsg};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    for (QWidget *w : {static_cast<QWidget *>(Frame1), static_cast<QWidget *>(Frame2), static_cast<QWidget *>(Frame3),
                       static_cast<QWidget *>(Frame4)})
        w->setFocusPolicy(Qt::NoFocus);
}

void Form1::Form_Load()
{
    ApplyDefaultSettings();
    CmbPort->setCurrentIndex(0);
    AppendLog(kBlack, timeStamp() + QStringLiteral("  启动程序"));
}

void Form1::ApplyDefaultSettings()
{
    // 9600, also when other speeds were added before it.
    CmbSpeed->setCurrentIndex(CmbSpeed->findText(QStringLiteral("9600")));
    CmbJY->setCurrentIndex(2);
    CmbSJ->setCurrentIndex(4);
    CmbTZ->setCurrentIndex(0);
    CmbXY->setCurrentIndex(0);
    ChkEof->setCheckState(Qt::Unchecked);
    ChkDTR->setCheckState(Qt::Unchecked);
    ChkRTS->setCheckState(Qt::Unchecked);
}

void Form1::CmdSetDefault_Click()
{
    ApplyDefaultSettings();
}

void Form1::EnableSettings(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(CmbPort), static_cast<QWidget *>(CmbSpeed), static_cast<QWidget *>(CmbJY),
                       static_cast<QWidget *>(CmbSJ), static_cast<QWidget *>(CmbTZ), static_cast<QWidget *>(CmbXY),
                       static_cast<QWidget *>(ChkDTR), static_cast<QWidget *>(ChkRTS), static_cast<QWidget *>(ChkEof),
                       static_cast<QWidget *>(CmdSetDefault), static_cast<QWidget *>(CmdOpen)})
        w->setEnabled(enabled);
    CmdClose->setEnabled(!enabled);
    CmdSend->setEnabled(!enabled);
    updateLineActions();
}

void Form1::OptArrv_Click(int index)
{
    MSComm1->setInputMode(index == 0 ? MSComm::comInputModeText : MSComm::comInputModeBinary);
}

void Form1::CmdOpen_Click()
{
    try {
        appendOpenEntry();
        stopLineTimers();
        m_watch->stop();
        m_gone.clear();
        if (MSComm1->PortOpen())
            MSComm1->setPortOpen(false);
        MSComm1->setCommPort(CmbPort->currentIndex() + 1);
        MSComm1->setSettings(CmbSpeed->currentText() + u',' + CmbJY->currentText() + u',' + CmbSJ->currentText() + u','
                             + CmbTZ->currentText());
        MSComm1->setHandshaking(CmbXY->currentIndex());
        MSComm1->setDTREnable(ticked(ChkDTR));
        MSComm1->setRTSEnable(ticked(ChkRTS));
        MSComm1->setEOFEnable(ticked(ChkEof));
        MSComm1->setInputMode(OptArrv[0]->isChecked() ? MSComm::comInputModeText : MSComm::comInputModeBinary);
        MSComm1->setPortOpen(true);
        if (!MSComm1->PortOpen()) {
            AppendLog(kRed, QStringLiteral("失败"));
            return;
        }
        showPortOpen();
        EnableSettings(false);
        CmdSend->setFocus();
        AppendLog(kBlue, QStringLiteral("成功"));
    } catch (...) {
        // Whatever failed ends the attempt's own line.
        AppendLog(kRed, caughtFailure());
    }
}

void Form1::appendOpenEntry()
{
    appendEntry(kBlack, QStringLiteral(" 打开端口：") + CmbPort->currentText() + QStringLiteral("……"));
}

void Form1::showPortOpen()
{
    ShpOpen->setBackColor(kRed);
    showLineLevels();
    showActualSpeed();
}

void Form1::showLineLevels()
{
    ShpRTS->setBackColor(MSComm1->CTSHolding() ? kRed : kBlack);
    ShpDTR->setBackColor(MSComm1->DSRHolding() ? kRed : kBlack);
    ShpCD->setBackColor(MSComm1->CDHolding() ? kRed : kBlack);
}

void Form1::showActualSpeed()
{
    // What the driver runs the port at, which it may have rounded.
    const qint32 speed = MSComm1->actualSpeed();
    CmbSpeed->setToolTip(speed > 0 ? QStringLiteral("实际速率：%1 bit/s").arg(speed) : QString());
}

void Form1::CmdClose_Click()
{
    // What came in before the close stands before its line, and so does
    // what was to go out and is dropped with the port.
    receiveCollection().logRest();
    logUnsent(MSComm1->OutBufferCount());
    appendEntry(kBlack, QStringLiteral(" 关闭端口\r\n"));
    for (Lamp *lamp : {ShpCD, ShpOpen, ShpDTR, ShpRTS})
        lamp->setBackColor(kBlack);
    stopLineTimers();
    m_watch->stop();
    m_gone.clear();
    if (MSComm1->PortOpen())
        MSComm1->setPortOpen(false);
    showActualSpeed();
    EnableSettings(true);
    CmdOpen->setFocus();
}

void Form1::MSComm1_OnComm()
{
    const int code = MSComm1->CommEvent();
    QString message;
    switch (code) {
    case MSComm::comEventBreak: message = QStringLiteral("  接收到一个中断信号"); break;
    case MSComm::comEventCTSTO: message = QStringLiteral("  Clear To Send 超时"); break;
    case MSComm::comEventDSRTO: message = QStringLiteral("  Data Set Ready 超时"); break;
    case MSComm::comEventFrame: message = QStringLiteral("  帧错误"); break;
    case MSComm::comEventOverrun: message = QStringLiteral("  端口超速"); break;
    case MSComm::comEventCDTO: message = QStringLiteral("  载波检测超时"); break;
    case MSComm::comEventRxOver: message = QStringLiteral("  接受缓冲区溢出"); break;
    case MSComm::comEventRxParity: message = QStringLiteral("  奇偶校验"); break;
    case MSComm::comEventTxFull: message = QStringLiteral("  传输缓冲区已满"); break;
    case MSComm::comEventDCB: message = QStringLiteral("  检索端口的设备控制块 (DCB) 时的意外错误"); break;
    case MSComm::comEvSend: lightSendLamp(); return;
    case MSComm::comEvReceive: receiveCollection().collect(); return;
    case MSComm::comEvCTS: ShpRTS->setBackColor(MSComm1->CTSHolding() ? kRed : kBlack); return;
    case MSComm::comEvDSR: ShpDTR->setBackColor(MSComm1->DSRHolding() ? kRed : kBlack); return;
    case MSComm::comEvCD: ShpCD->setBackColor(MSComm1->CDHolding() ? kRed : kBlack); return;
    case MSComm::comEvRing: message = QStringLiteral("  检测到响铃信号"); break;
    case MSComm::comEvEOF:
        // The character came with data: that data stands before the line.
        receiveCollection().logWaiting();
        message = QStringLiteral("  收到文件结束符");
        break;
    default: message = QStringLiteral("  未知错误或事件"); break;
    }
    appendEntry(kRed, message);
}

void Form1::MSComm1_Failed(const QString &description, qint64 unsent)
{
    // The port is gone (an adapter unplugged): log what it delivered
    // before it went, say so once and put out its lamps; the window keeps
    // its open-port form until the user closes, which then finds the port
    // closed.
    receiveCollection().logRest();
    logUnsent(unsent);
    for (Lamp *lamp : {ShpCD, ShpOpen, ShpDTR, ShpRTS})
        lamp->setBackColor(kBlack);
    stopLineTimers();
    updateLineActions();
    showActualSpeed();
    m_gone = description;
    appendEntry(kRed, QStringLiteral("  ") + description);
    if (m_reconnect)
        watchForTheDevice();
}

void Form1::refreshPortTips()
{
    for (int i = 0; i < CmbPort->count(); ++i)
        CmbPort->setItemData(i, MSComm1->portDevice(i + 1), Qt::ToolTipRole);
    CmbPort->setToolTip(MSComm1->portDevice(CmbPort->currentIndex() + 1));
}

QMenu *Form1::portMenu()
{
    if (!m_portMenu)
        m_portMenu = new QMenu(QStringLiteral("绑定到设备"), this);
    m_portMenu->clear();
    const bool closed = !MSComm1->PortOpen();
    const int port = CmbPort->currentIndex() + 1;
    const bool bound = SerialDevice::isBound(port);
    const QString current = bound ? SerialDevice::named(port) : QString();

    m_portMenu->addSection(QStringLiteral("绑定到设备"));
    const QList<SerialDeviceInfo> devices = listSerialDevices(deviceRoot);
    if (devices.isEmpty())
        m_portMenu->addAction(QStringLiteral("未找到串口设备"))->setEnabled(false);
    for (const SerialDeviceInfo &device : devices) {
        QAction *action = m_portMenu->addAction(device.label());
        action->setData(device.path);
        action->setCheckable(true);
        action->setChecked(device.path == current);
        action->setEnabled(closed);
        onSignal(action, &QAction::triggered, [this, path = device.path] { bindPort(path); });
    }
    QAction *other = m_portMenu->addAction(QStringLiteral("其他设备…"));
    other->setEnabled(closed);
    onSignal(other, &QAction::triggered, [this] { chooseOtherDevice(); });
    m_portMenu->addSeparator();
    QAction *unbind = m_portMenu->addAction(QStringLiteral("解除绑定"));
    unbind->setEnabled(closed && bound);
    onSignal(unbind, &QAction::triggered, [this] { unbindPort(); });
    m_portMenu->addSeparator();
    m_portMenu->addAction(ActReconnect);
    return m_portMenu;
}

void Form1::bindPort(const QString &device)
{
    // A menu built before the port opened must not act on it now.
    if (MSComm1->PortOpen())
        return;
    if (const Problem problem = SerialDevice::bind(CmbPort->currentIndex() + 1, device))
        showNotice(this, QStringLiteral("无法绑定端口：") + CmbPort->currentText() + u'\n' + problem.description(),
                   QStringLiteral("提示"));
    refreshPortTips();
}

void Form1::chooseOtherDevice()
{
    const int port = CmbPort->currentIndex() + 1;
    auto *dialog = new DevicePathDialog(CmbPort->currentText(),
                                        SerialDevice::isBound(port) ? SerialDevice::named(port) : QString(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString path = dialog->path();
        if (const Problem problem = SerialDevice::characterDevice(path)) {
            showNotice(this, QStringLiteral("无法绑定端口：") + CmbPort->currentText() + u'\n' + problem.description(),
                       QStringLiteral("提示"));
            return;
        }
        bindPort(path);
    });
    dialog->open();
}

void Form1::unbindPort()
{
    if (MSComm1->PortOpen())
        return;
    if (const Problem problem = SerialDevice::unbind(CmbPort->currentIndex() + 1))
        showNotice(this, QStringLiteral("无法解除绑定：") + CmbPort->currentText() + u'\n' + problem.description(),
                   QStringLiteral("提示"));
    refreshPortTips();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // The links that name the ports can change at any time: read them again
    // whenever the user looks at the list.
    if (watched == CmbPort
        && (event->type() == QEvent::ToolTip || event->type() == QEvent::MouseButtonPress
            || event->type() == QEvent::KeyPress))
        refreshPortTips();
    return ConsoleWindow::eventFilter(watched, event);
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    // The default button: Enter sends while sending is possible, unless
    // another button has the focus (it then presses itself).
    // (The Enter key of the keypad carries the keypad modifier.)
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (CmdSend->isEnabled() && !qobject_cast<QPushButton *>(focusWidget())) {
            CmdSend->click();
            event->accept();
            return;
        }
    }
    ConsoleWindow::keyPressEvent(event);
}
