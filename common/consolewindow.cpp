// SPDX-License-Identifier: MIT
#include "consolewindow.h"

#include "clock.h"
#include "guard.h"
#include "lamp.h"
#include "logpane.h"
#include "logsave.h"
#include "messagebox.h"
#include "pause.h"
#include "payload.h"
#include "sendhistory.h"
#include "timestamp.h"
#include "twips.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

ConsoleWindow::ConsoleWindow(QWidget *parent) : QWidget(parent)
{
    // The layout is measured for a 9-point face that carries the Chinese
    // captions itself; Latin-only defaults are wider and fall back per glyph.
    QFont face = font();
    for (const QString &family : {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")}) {
        if (QFontDatabase::hasFamily(family)) {
            face.setFamilies({family});
            break;
        }
    }
    face.setPointSize(9);
    setFont(face);

    TxtMsg = new LogPane(this);
    TxtSend = new QLineEdit(this);
    TxtSend->setMaxLength(512);
    m_history = new SendHistory(TxtSend);
    // An e-mail address and a web address, three spaces apart.
    TxtSend->setText(QStringLiteral("someone@example.com   http://www.example.com"));
    Label2 = new QLabel(QStringLiteral("内容："), this);
    OptSend[0] = new QRadioButton(QStringLiteral("发送文本"), this);
    OptSend[1] = new QRadioButton(QStringLiteral("发送字节(十六进制，用空格分开)"), this);
    OptArrv[0] = new QRadioButton(QStringLiteral("接收文本"), this);
    OptArrv[1] = new QRadioButton(QStringLiteral("接收字节"), this);
    // Each pair is its own group, wherever the tool places it.
    for (QRadioButton **pair : {OptSend, OptArrv}) {
        auto *group = new QButtonGroup(this);
        group->addButton(pair[0], 0);
        group->addButton(pair[1], 1);
        pair[0]->setChecked(true);
    }
    CmdSend = new QPushButton(this);
    CmdClear = new QPushButton(this);
    CmdQuit = new QPushButton(QStringLiteral("退出"), this);
    CmdSend->setEnabled(false);
    ShpSend = new Lamp(this);
    ShpArrv = new Lamp(this);

    TimeSend = new QTimer(this);
    TimeArrv = new QTimer(this);
    for (QTimer *t : {TimeSend, TimeArrv}) {
        t->setInterval(Clock::current().realMs(kLampIntervalMs));
        t->setTimerType(Qt::PreciseTimer);
    }

    onSignal(CmdSend, &QPushButton::clicked, [this] { CmdSend_Click(); });
    onSignal(CmdClear, &QPushButton::clicked, [this] { CmdClear_Click(); });
    onSignal(CmdQuit, &QPushButton::clicked, [this] { CmdQuit_Click(); });
    onSignal(TimeSend, &QTimer::timeout, [this] { TimeSend_Timer(); });
    onSignal(TimeArrv, &QTimer::timeout, [this] { TimeArrv_Timer(); });

    auto *saveReceivedAction = new QAction(QStringLiteral("保存接收数据…"), this);
    onSignal(saveReceivedAction, &QAction::triggered, [this] { saveReceived(); });
    TxtMsg->addContextAction(saveReceivedAction);
}

void ConsoleWindow::setClientArea(int widthTwips, int heightTwips)
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(tw(widthTwips), tw(heightTwips));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ConsoleWindow::guarded(const std::function<void()> &handler)
{
    RunGuarded(handler, [this](const QString &description) { AppendEntry(kRed, QStringLiteral("  ") + description); });
}

void ConsoleWindow::AppendLog(quint32 colour, const QString &text)
{
    TxtMsg->AppendLog(colour, text);
}

void ConsoleWindow::AppendEntry(quint32 colour, const QString &message)
{
    AppendLog(colour, QStringLiteral("\r\n") + TimeStamp() + message);
}

void ConsoleWindow::CmdClear_Click()
{
    TxtMsg->clearLog();
    m_capture.clear();
}

void ConsoleWindow::saveReceived()
{
    const QString suggested = SuggestedSavePath(QStringLiteral(".bin"));
    QString chosen;
    const QString path = AskSavePath(this, QStringLiteral("保存接收数据"), suggested,
                                     QStringLiteral("接收数据 (*.bin);;所有文件 (*)"), &chosen);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_capture.saveTo(path, &error))
        ShowNotice(this, QStringLiteral("保存失败：") + path + u'\n' + error, QStringLiteral("提示"));
}

void ConsoleWindow::CmdQuit_Click()
{
    QuitProgram();
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    QuitProgram();
}

void ConsoleWindow::lightSendLamp()
{
    ShpSend->setBackColor(kRed);
    TimeSend->setInterval(Clock::current().realMs(kLampIntervalMs));
    TimeSend->start();
}

void ConsoleWindow::lightArrvLamp()
{
    ShpArrv->setBackColor(kRed);
    TimeArrv->setInterval(Clock::current().realMs(kLampIntervalMs));
    TimeArrv->start();
}

void ConsoleWindow::TimeSend_Timer()
{
    ShpSend->setBackColor(kBlack);
    TimeSend->stop();
}

void ConsoleWindow::TimeArrv_Timer()
{
    ShpArrv->setBackColor(kBlack);
    TimeArrv->stop();
}

void ConsoleWindow::CmdSend_Click()
{
    if (!sendLinkUp())
        return;
    const QString text = TrimSpaces(TxtSend->text());
    if (text.isEmpty()) {
        ShowNotice(this, QStringLiteral("请输入发送内容！"), QStringLiteral("提示"));
        TxtSend->setFocus();
        return;
    }
    if (OptSend[0]->isChecked()) {
        handOverText(sendTextPayload(text));
        m_history->record(text);
        AppendEntry(kBlack, QStringLiteral("  发送文本：  ") + text);
        return;
    }
    const HexPayload payload = ParseHexPayload(text);
    if (payload.beyondLimits) {
        // Refused as the log refuses everything else: one red entry. The
        // send box keeps the text so that it can be shortened.
        AppendEntry(kRed, QStringLiteral("  发送字节超出限制：最多255个字节，每段不超过254个字符"));
        TxtSend->setFocus();
        return;
    }
    // One piece for the whole listing, kept as the bytes: the log reads the
    // same as one piece per byte, at a fraction of the cost.
    AppendEntry(kBlack, QStringLiteral("  发送数据："));
    TxtMsg->AppendListing(kBlack, payload.bytes);
    handOverBytes(payload.bytes);
    m_history->record(text);
}

void ConsoleWindow::collectReceived()
{
    lightArrvLamp();
    if (Receiving) {
        // A link that holds all it can takes nothing more: waiting out the
        // second would only idle it.
        if (receiveWaiting() >= receiveLimit())
            m_settle.end();
        return;
    }
    Receiving = true;
    // Whatever happens below, the next arrival must start a fresh collection.
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{Receiving};

    qint64 remembered = 0;
    for (;;) {
        const qint64 waiting = receiveWaiting();
        if (waiting == remembered)
            break;
        if (waiting < receiveLimit())
            m_settle.wait(kSettleSeconds);
        remembered = receiveWaiting();
        if (!receiveLinkUp())
            break;
    }
    if (!receiveLinkUp())
        return;
    logReceived(receiveBytes(), false);
}

void ConsoleWindow::logReceived(QByteArray bytes, bool last)
{
    m_capture.append(bytes); // as it came, before any of it is held or shown
    if (OptArrv[0]->isChecked()) {
        QString text = m_received.decode(bytes);
        if (last)
            text += m_received.finish();
        // Two writes of one colour read as one entry, without a copy of
        // the text.
        AppendEntry(kBlack, QStringLiteral("  接收文本：  "));
        AppendLog(kBlack, text);
    } else {
        // Bytes held for a cut character after a text read come first:
        // they arrived before the rest.
        if (m_received.holding())
            bytes.prepend(m_received.takeHeld());
        AppendEntry(kBlack, QStringLiteral("  接收数据："));
        TxtMsg->AppendListing(kBlack, bytes);
    }
}

void ConsoleWindow::logRemaining()
{
    QByteArray rest = receiveRest();
    if (rest.isEmpty() && !m_received.holding())
        return;
    logReceived(std::move(rest), true);
}
