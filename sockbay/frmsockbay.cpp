// SPDX-License-Identifier: MIT
#include "frmsockbay.h"

#include "clock.h"
#include "guard.h"
#include "lamp.h"
#include "logpane.h"
#include "portnumber.h"
#include "sendboxmenu.h"
#include "servedclients.h"
#include "spoolfile.h"
#include "timestamp.h"
#include "twips.h"
#include "winsock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace {

// How often the connect wait looks at the socket's state when no event of
// the control wakes it (real milliseconds).
constexpr int kConnectPollMs = 10;

QLabel *makeLabel(QWidget *parent, const QString &caption, const QRect &rect)
{
    auto *label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(rect);
    return label;
}

QLineEdit *makeBox(QWidget *parent, const QString &text, int maxLength, const QRect &rect)
{
    auto *box = new QLineEdit(parent);
    box->setMaxLength(maxLength);
    box->setText(text);
    box->setGeometry(rect);
    return box;
}

// Writes a program-made text into a box whose limit only binds typing: a
// rewritten port such as "123000000000" is shown whole, and the user can
// shorten it but not lengthen it until it fits the limit again.
void setBoxText(QLineEdit *box, const QString &text, int typedLimit)
{
    box->setMaxLength(std::max<int>(typedLimit, int(text.size())));
    box->setText(text);
}

void tightenBox(QLineEdit *box, int typedLimit)
{
    box->setMaxLength(std::max<int>(typedLimit, int(box->text().size())));
}

// The host as the connect line shows it: an IPv6 address in brackets, so
// that the port after it reads as the port.
QString hostForLine(const QString &host)
{
    return host.contains(u':') && !host.startsWith(u'[') ? u'[' + host + u']' : host;
}

} // namespace

FrmSockbay::FrmSockbay(Winsock *control, QWidget *parent) : ConsoleWindow(*control, parent), Winsock1(control)
{
    Winsock1->setParent(this);
    setConfigFolder(configFolder(QStringLiteral("sockbay")));
    setWindowTitle(QStringLiteral("IP通讯测试(Quelt)"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/sockbay-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/sockbay-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    setClientArea(8910, 6780);
    buildControls();
    applyToolState(ToolStates::Idle);
    setTabOrderChain();
    connectHandlers();
    buildAddressMenu();

    guarded([this] { Form_Load(); });
}

void FrmSockbay::buildControls()
{
    FrmSet = new QGroupBox(QStringLiteral("通讯设置："), this);
    FrmSet->setGeometry(twRect(120, 0, 8655, 735));
    Label1[1] = makeLabel(FrmSet, QStringLiteral("本地端口："), twRect(360, 360, 900, 180));
    TxtLPort = makeBox(FrmSet, QStringLiteral("123"), kPortLength, twRect(1320, 300, 735, 330));
    Label1[2] = makeLabel(FrmSet, QStringLiteral("远程端口："), twRect(2280, 360, 900, 180));
    TxtRPort = makeBox(FrmSet, QStringLiteral("321"), kPortLength, twRect(3240, 300, 735, 330));
    Label1[3] = makeLabel(FrmSet, QStringLiteral("远程地址："), twRect(4200, 360, 900, 180));
    // A private address of a local network: never a host out on the Internet.
    TxtRIP = makeBox(FrmSet, QStringLiteral("192.168.0.1"), kAddressLength, twRect(5160, 300, 1575, 330));

    Frame3 = new QGroupBox(FrmSet);
    Frame3->setGeometry(twRect(6960, 240, 1455, 375));
    ShpLstn = new Lamp;
    ShpCnn = new Lamp;
    placeLampStrip(Frame3, {{ShpLstn, &Shape5, &Image1[0], QStringLiteral("侦听指示")},
                            {ShpCnn, &Shape6, &Image1[1], QStringLiteral("连接指示")},
                            {ShpSend, &Shape7, &Image1[2], QStringLiteral("发送指示")},
                            {ShpArrv, &Shape8, &Image1[3], QStringLiteral("接收指示")}});

    CmdLstn = new QPushButton(QStringLiteral("侦听"), this);
    CmdLstn->setGeometry(twRect(240, 840, 1095, 420));
    CmdStop = new QPushButton(QStringLiteral("停止"), this);
    CmdStop->setGeometry(twRect(1440, 840, 1095, 420));
    CmdCnn = new QPushButton(QStringLiteral("连接"), this);
    CmdCnn->setGeometry(twRect(2760, 840, 1095, 420));
    CmdSend->setText(QStringLiteral("发送"));
    CmdSend->setGeometry(twRect(3960, 840, 1095, 420));
    CmdClose = new QPushButton(QStringLiteral("挂断"), this);
    CmdClose->setGeometry(twRect(5160, 840, 1095, 420));
    CmdClear->setText(QStringLiteral("清除"));
    CmdClear->setGeometry(twRect(6480, 840, 1095, 420));
    CmdQuit->setGeometry(twRect(7680, 840, 1095, 420));
    // No default button: Enter presses the focused button only.
    for (QPushButton *b : {CmdLstn, CmdStop, CmdCnn, CmdSend, CmdClose, CmdClear, CmdQuit})
        b->setAutoDefault(true);

    Frame1 = new QGroupBox(QStringLiteral("发送选项："), this);
    Frame1->setGeometry(twRect(120, 1320, 6975, 1095));
    OptSend[0]->setParent(Frame1);
    OptSend[0]->setGeometry(twRect(360, 300, 1095, 255));
    OptSend[1]->setParent(Frame1);
    OptSend[1]->setGeometry(twRect(1800, 300, 4935, 255));
    Label2->setParent(Frame1);
    Label2->setGeometry(twRect(360, 720, 540, 180));
    TxtSend->setParent(Frame1);
    TxtSend->setGeometry(twRect(840, 660, 5895, 270));

    Frame2 = new QGroupBox(QStringLiteral("接收选项："), this);
    Frame2->setGeometry(twRect(7200, 1320, 1575, 1095));
    OptArrv[0]->setParent(Frame2);
    OptArrv[0]->setGeometry(twRect(240, 360, 1095, 255));
    OptArrv[1]->setParent(Frame2);
    OptArrv[1]->setGeometry(twRect(240, 660, 1095, 255));

    TxtMsg->setGeometry(twRect(120, 2520, 8655, 4155));

    // Each box is named by its own label (for screen readers, too), not by
    // its frame's title.
    Label1[1]->setBuddy(TxtLPort);
    Label1[2]->setBuddy(TxtRPort);
    Label1[3]->setBuddy(TxtRIP);
    Label2->setBuddy(TxtSend);
    TxtMsg->setAccessibleName(QStringLiteral("信息"));
}

void FrmSockbay::setTabOrderChain()
{
    QWidget *chain[] = {TxtLPort, TxtRPort, TxtRIP, CmdLstn, CmdStop, CmdCnn, CmdSend, CmdClose, CmdClear, CmdQuit,
                        OptSend[0], OptSend[1], TxtSend, OptArrv[0], OptArrv[1], TxtMsg};
    for (size_t i = 0; i + 1 < std::size(chain); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    for (QWidget *w : {FrmSet, Frame1, Frame2, Frame3})
        w->setFocusPolicy(Qt::NoFocus);
}

void FrmSockbay::connectHandlers()
{
    onSignal(CmdLstn, &QPushButton::clicked, [this] { CmdLstn_Click(); });
    onSignal(CmdStop, &QPushButton::clicked, [this] { CmdStop_Click(); });
    onSignal(CmdCnn, &QPushButton::clicked, [this] { CmdCnn_Click(); });
    onSignal(CmdClose, &QPushButton::clicked, [this] { CmdClose_Click(); });
    for (QLineEdit *box : {TxtLPort, TxtRPort})
        connect(box, &QLineEdit::textEdited, this, [box] { tightenBox(box, kPortLength); });

    onSignal(Winsock1, &Winsock::ConnectionRequest, [this](qint32 id) { Winsock1_ConnectionRequest(id); });
    onSignal(Winsock1, &Winsock::DataArrival, [this](qint64 total) { Winsock1_DataArrival(total); });
    onSignal(Winsock1, &Winsock::CloseEvent, [this] { Winsock1_Close(); });
    onSignal(Winsock1, &Winsock::Error,
             [this](int number, const QString &description) { Winsock1_Error(number, description); });
    onSignal(Winsock1, &Winsock::SendProgress,
             [this](qint64 sent, qint64 remaining) { Winsock1_SendProgress(sent, remaining); });
    onSignal(Winsock1, &Winsock::requestRefused, [this](const QString &peer) { Winsock1_RequestRefused(peer); });
    onSignal(Winsock1, &Winsock::sendsLost, [this](qint64 bytes) { Winsock1_SendsLost(bytes); });
}

void FrmSockbay::buildAddressMenu()
{
    // On the address frame, its labels and its lamps (the boxes keep their
    // own editing menus).
    FrmSet->setContextMenuPolicy(Qt::ActionsContextMenu);
    ActCancel = new QAction(QStringLiteral("取消连接"), this);
    // Esc from anywhere in the window; enabled only while connecting.
    ActCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    ActCancel->setShortcutContext(Qt::WindowShortcut);
    ActCancel->setEnabled(false);
    addAction(ActCancel);
    FrmSet->addAction(ActCancel);
    onSignal(ActCancel, &QAction::triggered, [this] { cancelConnect(); });
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    FrmSet->addAction(separator);
    ActMulti = new QAction(QStringLiteral("同时接受多个连接"), this);
    ActMulti->setCheckable(true);
    FrmSet->addAction(ActMulti);
    onSignal(ActMulti, &QAction::triggered, [this](bool on) { setMultiClient(on); });

    m_clients = new ServedClients(*this,
                                  {[this] { lightArrvLamp(); }, [this] { lightSendLamp(); },
                                   [this](qint64 bytes) { logUnsent(bytes); }},
                                  this);
    onSignal(m_clients, &ServedClients::countChanged, [this](int count) {
        if (m_multi && Winsock1->State() == Winsock::sckListening)
            applyToolState(count > 0 ? ToolStates::ServingMany : ToolStates::Listening);
    });
    connect(OptArrv[0], &QRadioButton::toggled, m_clients, &ServedClients::setShowsText);
    m_sendToMenu = new QMenu(QStringLiteral("发送到"), this);
    m_sendToMenu->menuAction()->setVisible(false);
    connect(m_sendToMenu, &QMenu::aboutToShow, this, [this] { fillSendToMenu(); });
    sendBoxMenu()->addAction(m_sendToMenu->menuAction());
}

void FrmSockbay::setMultiClient(bool on)
{
    // Only between sessions: a listen under way keeps the way it began.
    if (!TxtLPort->isEnabled()) {
        ActMulti->setChecked(m_multi);
        return;
    }
    m_multi = on;
    ActMulti->setChecked(on);
    m_sendToMenu->menuAction()->setVisible(on);
}

void FrmSockbay::fillSendToMenu()
{
    m_sendToMenu->clear();
    const auto choice = [this](const QString &text, const QString &peer) {
        QAction *a = m_sendToMenu->addAction(text);
        a->setCheckable(true);
        a->setChecked(m_clients->sendsTo() == peer);
        onSignal(a, &QAction::triggered, [this, peer] { m_clients->sendTo(peer); });
    };
    choice(QStringLiteral("所有连接"), QString());
    const QStringList peers = m_clients->peers();
    if (!peers.isEmpty())
        m_sendToMenu->addSeparator();
    for (const QString &peer : peers)
        choice(peer, peer);
}

QString FrmSockbay::logRequest(qint32 requestID)
{
    appendEntry(kBlack, QStringLiteral("  接受连接请求"));
    // Who knocked, as a piece of the same line.
    const QString peer = Winsock1->RequestPeer(requestID);
    if (!peer.isEmpty())
        AppendLog(kBlack, QStringLiteral("：") + peer);
    return peer;
}

void FrmSockbay::acceptClient(qint32 requestID)
{
    QString peer = logRequest(requestID);
    try {
        Winsock *client = Winsock1->AcceptNew(requestID);
        // A client the system cannot name is still told apart.
        if (peer.isEmpty())
            peer = QStringLiteral("#%1").arg(requestID);
        m_clients->add(client, peer);
    } catch (...) {
        // Gone before it was taken: the server listens on.
        AppendLog(kRed, caughtFailure());
    }
}

void FrmSockbay::Form_Load()
{
    AppendLog(kBlack, timeStamp() + QStringLiteral("  启动程序，本地IP：") + Winsock1->LocalIP()
                          + QStringLiteral("  机器名：") + Winsock1->LocalHostName());
}

void FrmSockbay::NormalizePorts()
{
    // Both values first: a port that cannot be read leaves both boxes as typed.
    const QString local = numberText(leadingNumber(TxtLPort->text()));
    const QString remote = numberText(leadingNumber(TxtRPort->text()));
    setBoxText(TxtLPort, local, kPortLength);
    setBoxText(TxtRPort, remote, kPortLength);
}

void FrmSockbay::setPortBox(QLineEdit *box, const QString &text)
{
    setBoxText(box, text, kPortLength);
}

void FrmSockbay::EnableAddressFields(bool enabled)
{
    TxtLPort->setEnabled(enabled);
    TxtRPort->setEnabled(enabled);
    TxtRIP->setEnabled(enabled);
}

void FrmSockbay::applyToolState(const ToolState &state)
{
    EnableAddressFields(state.addressBoxes);
    CmdCnn->setEnabled(state.connect);
    CmdLstn->setEnabled(state.listen);
    CmdStop->setEnabled(state.stop);
    CmdSend->setEnabled(state.send);
    CmdClose->setEnabled(state.hangUp);
    ShpCnn->setBackColor(state.connectedLamp ? kRed : kBlack);
    ShpLstn->setBackColor(state.listeningLamp ? kRed : kBlack);
    if (ActMulti)
        ActMulti->setEnabled(state.addressBoxes);
}

void FrmSockbay::CmdCnn_Click()
{
    try {
        ErrorReported = false;
        applyToolState(ToolStates::Connecting);
        NormalizePorts();
        appendEntry(kBlack, QStringLiteral("  连接") + hostForLine(TxtRIP->text()) + u':' + TxtRPort->text()
                                + QStringLiteral("……"));
        Winsock1->Close();
        Winsock1->setLocalPort(0);
        Winsock1->Connect(TxtRIP->text(), TxtRPort->text());
        m_cancelled = false;
        ActCancel->setEnabled(true);
        waitWhileConnecting();
        ActCancel->setEnabled(false);
        if (Winsock1->State() == Winsock::sckConnected) {
            applyToolState(ToolStates::Connected);
            AppendLog(kBlue, QStringLiteral("成功"));
            // Where it got to: a name may have resolved to several.
            const QString peer = Winsock1->RemotePeer();
            if (!peer.isEmpty())
                AppendLog(kBlue, QStringLiteral("（") + peer + QStringLiteral("）"));
            CmdSend->setFocus();
        } else if (!ErrorReported && Winsock1->State() != Winsock::sckListening) {
            // (A peer close handled during the wait may already have started
            // listening again; closing that listener would leave the window
            // showing a listen that no longer exists.)
            Winsock1->Close();
            AppendLog(kRed, m_cancelled ? QStringLiteral("失败：已取消") : QStringLiteral("失败"));
            applyToolState(ToolStates::Idle);
            CmdLstn->setFocus();
        }
    } catch (...) {
        ActCancel->setEnabled(false);
        connectFailed(caughtFailure());
    }
}

void FrmSockbay::cancelConnect()
{
    if (Winsock1->State() == Winsock::sckConnecting)
        m_cancelled = true;
}

void FrmSockbay::connectFailed(const QString &description)
{
    Winsock1->Close();
    AppendLog(kRed, description);
    applyToolState(ToolStates::Idle);
    CmdLstn->setFocus();
}

void FrmSockbay::waitWhileConnecting()
{
    Clock &clock = Clock::current();
    const qint64 t0 = clock.nowMs();
    const qint64 limitMs = qint64(kConnectLimitSeconds) * 1000;

    // Each pass handles what is pending (sleeping until something is, or
    // until the next poll), then tests the state at once: a connection that
    // came up is reported before any data that follows it is handled.
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.start(std::clamp(clock.realMs(kConnectPollMs), 1, kConnectPollMs));
    while (Winsock1->State() == Winsock::sckConnecting) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (m_cancelled) {
            Winsock1->Close();
            break;
        }
        if (clock.nowMs() - t0 > limitMs) {
            // Given up: measured on the steady clock, so neither midnight nor
            // a change of the wall clock stretches or cuts the limit.
            Winsock1->Close();
            break;
        }
    }
}

void FrmSockbay::CmdClose_Click()
{
    // What came in before the hang-up stands before its line.
    receiveCollection().logRest();
    applyToolState(ToolStates::Idle);
    CmdCnn->setFocus();
    Winsock1->Close();
    appendEntry(kBlack, QStringLiteral("  挂断连接\r\n"));
    if (ListenMode)
        CmdLstn_Click();
}

void FrmSockbay::CmdLstn_Click()
{
    // The attempt's line names the port it tries, and once listening the
    // port really bound: the box's "1.5" is port 2, and 0 (or no number)
    // one the system picks. Listening pumps no events, so the line is
    // written when that is known, and the box then shows the same port.
    QString tried;
    try {
        ErrorReported = false;
        applyToolState(ToolStates::Connecting);
        NormalizePorts();
        tried = TxtLPort->text();
        Winsock1->Close();
        const qint32 port = toLong(TxtLPort->text());
        tried = QString::number(port);
        Winsock1->setLocalPort(port);
        Winsock1->Listen();
        if (Winsock1->State() == Winsock::sckListening) {
            const QString bound = QString::number(Winsock1->LocalPort());
            setBoxText(TxtLPort, bound, kPortLength);
            appendEntry(kBlack, QStringLiteral("  启动侦听:") + bound + QStringLiteral("……"));
            applyToolState(ToolStates::Listening);
            AppendLog(kBlue, QStringLiteral("成功"));
            CmdStop->setFocus();
            ListenMode = true;
            if (m_multi)
                sendThrough(m_clients);
        } else {
            appendEntry(kBlack, QStringLiteral("  启动侦听:") + tried + QStringLiteral("……"));
            if (ErrorReported)
                return;
            Winsock1->Close();
            AppendLog(kRed, QStringLiteral("失败"));
            applyToolState(ToolStates::Idle);
            CmdLstn->setFocus();
            ListenMode = false;
        }
    } catch (...) {
        const QString description = caughtFailure();
        appendEntry(kBlack, QStringLiteral("  启动侦听:") + tried + QStringLiteral("……"));
        listenFailed(description);
    }
}

void FrmSockbay::listenFailed(const QString &description)
{
    // Unlike the connect trap, the description is logged before the close.
    AppendLog(kRed, description);
    Winsock1->Close();
    applyToolState(ToolStates::Idle);
    CmdLstn->setFocus();
}

void FrmSockbay::CmdStop_Click()
{
    // Each client's end first, with what it sent before it.
    m_clients->endAll();
    sendThrough(nullptr);
    applyToolState(ToolStates::Idle);
    CmdLstn->setFocus();
    Winsock1->Close();
    appendEntry(kBlack, QStringLiteral("  停止侦听\r\n"));
    ListenMode = false;
}

void FrmSockbay::Winsock1_ConnectionRequest(qint32 requestID)
{
    if (m_multi) {
        acceptClient(requestID);
        return;
    }
    logRequest(requestID);
    Winsock1->Close();
    try {
        Winsock1->Accept(requestID);
    } catch (...) {
        acceptFailed(caughtFailure());
        return;
    }
    // The focus stays where it was.
    applyToolState(ToolStates::Serving);
}

void FrmSockbay::acceptFailed(const QString &description)
{
    // The request is gone (its client gave up before it was taken), and
    // listening has already ended: say why on the request's line and carry on
    // as after any connection that ended, so the window never shows a listen
    // that no longer exists.
    AppendLog(kRed, description);
    endConnection(QString());
}

void FrmSockbay::Winsock1_DataArrival(qint64)
{
    receiveCollection().collect();
}

void FrmSockbay::Winsock1_Close()
{
    // What the peer sent before it closed stands before the closing line,
    // and so does what it never took: it is dropped with the connection.
    receiveCollection().logRest();
    logUnsent(Winsock1->unsent());
    endConnection(QStringLiteral("  通讯结束\r\n"));
}

void FrmSockbay::endConnection(const QString &closingEntry)
{
    applyToolState(ToolStates::Idle);
    CmdLstn->setFocus();
    Winsock1->Close();
    if (!closingEntry.isEmpty())
        appendEntry(kBlack, closingEntry);
    if (ListenMode)
        CmdLstn_Click();
}

void FrmSockbay::Winsock1_Error(int, const QString &Description)
{
    // What came in before the failure stands before its line.
    receiveCollection().logRest();
    ErrorReported = true;
    appendEntry(kRed, QStringLiteral("  通讯错误：") + Description);
    Winsock1_Close();
    // The listen that the teardown may have started cleared it.
    ErrorReported = true;
}

void FrmSockbay::Winsock1_RequestRefused(const QString &peer)
{
    // No client talks to the tool unseen: one that reached it but was not
    // served is named, with what became of it.
    appendEntry(kBlack, QStringLiteral("  拒绝连接请求：") + peer + QStringLiteral("，已断开"));
}

void FrmSockbay::Winsock1_SendsLost(qint64 bytes)
{
    logUnsent(bytes);
}

void FrmSockbay::Winsock1_SendProgress(qint64, qint64)
{
    lightSendLamp();
}
