// SPDX-License-Identifier: MIT
#include "consolewindow.h"

#include "clock.h"
#include "filesend.h"
#include "filesenddialog.h"
#include "framedialog.h"
#include "quicksenddialog.h"
#include "quicksends.h"
#include "guard.h"
#include "lamp.h"
#include "link.h"
#include "logcommands.h"
#include "logpane.h"
#include "messagebox.h"
#include "savedialog.h"
#include "sendboxlimit.h"
#include "sendboxmenu.h"
#include "sendhistory.h"
#include "timestamp.h"
#include "twips.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QShortcut>
#include <QFontDatabase>
#include <QProgressDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

ConsoleWindow::ConsoleWindow(Link &link, QWidget *parent)
    : QWidget(parent), m_receive(link, *this, [this] { lightArrvLamp(); }), m_link(link), m_sendLink(link),
      m_send(m_sendLink, *this)
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
    // The program ends at once, the link left to the system: what was to go
    // out and has not is said first (before a recording is written out).
    atQuit(this, [this] {
        if (m_sendLink.linkUp() && m_sendLink.unsent() > 0)
            appendEntry(kRed, QStringLiteral("  退出时有%1个字节尚未送出").arg(m_sendLink.unsent()));
    });
    m_logCommands = new LogCommands(TxtMsg);
    TxtSend = new QLineEdit(this);
    TxtSend->setMaxLength(512);
    m_history = new SendHistory(TxtSend);
    auto *limit = new SendBoxLimit(TxtSend, [this](const QString &notice) { showNotice(this, notice, QStringLiteral("提示")); });
    m_sendBoxMenu = new SendBoxMenu(TxtSend, limit);
    connect(m_sendBoxMenu, &SendBoxMenu::lineEndingChanged, this, &ConsoleWindow::updateTextEnding);
    connect(m_sendBoxMenu, &SendBoxMenu::checksumChanged, this, [this](Checksum c) { m_send.setChecksum(c); });
    m_fileSend = new FileSend(m_sendLink, *this, this);
    auto *sendFileAction = new QAction(QStringLiteral("发送文件…"), this);
    onSignal(sendFileAction, &QAction::triggered, [this] { sendFile(); });
    m_sendBoxMenu->addAction(sendFileAction);

    m_quickSends = std::make_unique<QuickSendSet>();
    m_quickSender = new QuickSender(m_sendLink, *this, this);
    m_quickMenu = new QMenu(QStringLiteral("快捷发送"), this);
    m_sendBoxMenu->addAction(m_quickMenu->menuAction());
    for (int key = 0; key < QuickSendSet::kKeys; ++key) {
        auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F1 + key), this);
        onSignal(shortcut, &QShortcut::activated, [this, key] { sendQuick(key); });
    }
    // Esc is the stop only while a repeat runs: elsewhere it stays the
    // keys' own (the find field's close).
    m_stopShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_stopShortcut->setEnabled(false);
    onSignal(m_stopShortcut, &QShortcut::activated, [this] { stopRepeat(); });
    connect(m_quickSender, &QuickSender::repeatingChanged, this, [this](bool on) {
        m_stopShortcut->setEnabled(on);
        updateQuickMenu();
    });
    // A repeat ends with the program.
    atQuit(this, [this] { m_quickSender->stop(QStringLiteral("程序退出")); });
    updateQuickMenu();
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
    // The flows read the options as they change.
    connect(OptSend[1], &QRadioButton::toggled, this, [this](bool bytes) { m_send.setSendsBytes(bytes); });
    connect(OptArrv[0], &QRadioButton::toggled, this, [this](bool text) { m_receive.setShowsText(text); });
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
    m_logCommands->addAction(saveReceivedAction);
    auto *largeAction = new QAction(QStringLiteral("在大窗口中查看"), this);
    largeAction->setShortcut(QKeySequence(Qt::Key_F11));
    largeAction->setShortcutContext(Qt::WidgetShortcut); // F11 is the log's while it has the focus
    onSignal(largeAction, &QAction::triggered, [this] { showLargeView(); });
    onSignal(TxtMsg, &LogPane::largeViewRequested, [this] { showLargeView(); });
    m_logCommands->addAction(largeAction);
    auto *framingAction = new QAction(QStringLiteral("接收分帧…"), this);
    onSignal(framingAction, &QAction::triggered, [this] { chooseFraming(); });
    m_logCommands->addAction(framingAction);
}

ConsoleWindow::~ConsoleWindow()
{
    // Its view reads the log's store: it goes first.
    delete m_largeView;
}

void ConsoleWindow::showLargeView()
{
    if (m_largeView) {
        m_largeView->showNormal();
        m_largeView->raise();
        m_largeView->activateWindow();
        return;
    }
    auto *window = new QWidget(this, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(windowTitle() + QStringLiteral(" — 信息"));
    window->setWindowIcon(windowIcon());
    auto *view = new LogPane(TxtMsg, window);
    view->setAccessibleName(QStringLiteral("信息（大窗口）"));
    new LogCommands(view);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    // Room for a screenful: most of the screen the tool is on.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    window->resize(screen.width() * 3 / 4, screen.height() * 3 / 4);
    m_largeView = window;
    window->show();
    view->setFocus();
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

void ConsoleWindow::setFraming(int gapMs, bool msStamps)
{
    m_receive.setFrameGap(std::clamp(gapMs, 0, FrameDialog::kMostGapMs));
    setStampsCarryMilliseconds(msStamps);
}

void ConsoleWindow::chooseFraming()
{
    auto *dialog = new FrameDialog(frameGap(), stampsCarryMilliseconds(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { setFraming(dialog->gapMs(), dialog->msStamps()); });
    dialog->open();
}

void ConsoleWindow::sendFile()
{
    if (m_fileSend->running()) {
        showNotice(this, QStringLiteral("正在发送文件，请等它完成或取消。"), QStringLiteral("提示"));
        return;
    }
    if (!m_sendLink.linkUp()) {
        showNotice(this, QStringLiteral("没有连通的链路：请先打开端口或建立连接。"), QStringLiteral("提示"));
        return;
    }
    const QString path = askOpenPath(this, QStringLiteral("发送文件"));
    if (path.isEmpty())
        return;
    const QFileInfo file(path);
    auto *options = new FileSendDialog(file.absoluteFilePath(), file.size(), this);
    options->setAttribute(Qt::WA_DeleteOnClose);
    connect(options, &QDialog::accepted, this, [this, options, path] {
        if (const Problem problem = m_fileSend->start(path, options->pace(), options->delayMs())) {
            showNotice(this, QStringLiteral("无法发送文件：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
            return;
        }
        // Out of a thousand, so that files past 2 GiB count too.
        auto *progress = new QProgressDialog(QStringLiteral("正在发送：") + path, QStringLiteral("取消"), 0, 1000, this);
        progress->setWindowTitle(QStringLiteral("发送文件"));
        progress->setAttribute(Qt::WA_DeleteOnClose);
        progress->setMinimumDuration(300);
        progress->setValue(0);
        connect(m_fileSend, &FileSend::progressed, progress, [progress](qint64 done, qint64 size) {
            progress->setValue(size > 0 ? int(done * 1000 / size) : 1000);
        });
        connect(progress, &QProgressDialog::canceled, m_fileSend, &FileSend::cancel);
        connect(m_fileSend, &FileSend::finished, progress, [progress] {
            progress->disconnect();
            progress->close();
        });
    });
    options->open();
}

void ConsoleWindow::setConfigFolder(const QString &folder)
{
    m_configFolder = folder;
    const QString path = folder + QStringLiteral("/quicksends.json");
    if (QFileInfo::exists(path))
        m_quickSendsProblem = QuickSendSet::load(path, m_quickSends.get());
    updateQuickMenu();
}

void ConsoleWindow::useQuickSends(const QuickSendSet &set)
{
    *m_quickSends = set;
    updateQuickMenu();
}

void ConsoleWindow::setQuickSends(const QuickSendSet &set)
{
    useQuickSends(set);
    if (m_configFolder.isEmpty())
        return;
    QDir().mkpath(m_configFolder);
    const QString path = m_configFolder + QStringLiteral("/quicksends.json");
    if (const Problem problem = set.save(path))
        showNotice(this, QStringLiteral("快捷发送未能保存：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
    m_quickSendsProblem = Problem();
}

void ConsoleWindow::sendQuick(int key)
{
    if (key < 0 || key >= QuickSendSet::kKeys)
        return;
    if (m_quickSends->keys[size_t(key)].defined() && refusedAsGone())
        return;
    m_quickSender->send(m_quickSends->keys[size_t(key)]);
}

bool ConsoleWindow::refusedAsGone()
{
    if (m_sendLink.linkUp())
        return false;
    const QString why = whyLinkIsGone();
    if (why.isEmpty())
        return false;
    appendEntry(kRed, QStringLiteral("  未发送：") + why);
    return true;
}

void ConsoleWindow::stopRepeat()
{
    m_quickSender->stop(QStringLiteral("已停止"));
}

void ConsoleWindow::editQuickSends()
{
    if (m_quickSendsProblem) {
        showNotice(this,
                   QStringLiteral("保存的快捷发送无法读取：") + m_configFolder + QStringLiteral("/quicksends.json\n")
                       + m_quickSendsProblem.description(),
                   QStringLiteral("提示"));
        m_quickSendsProblem = Problem();
    }
    auto *dialog = new QuickSendDialog(*m_quickSends, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { setQuickSends(dialog->set()); });
    dialog->open();
}

void ConsoleWindow::updateQuickMenu()
{
    m_quickMenu->clear();
    for (int key = 0; key < QuickSendSet::kKeys; ++key) {
        const QuickSend &send = m_quickSends->keys[size_t(key)];
        if (!send.defined())
            continue;
        QAction *action = m_quickMenu->addAction(send.label(key));
        onSignal(action, &QAction::triggered, [this, key] { sendQuick(key); });
    }
    if (!m_quickMenu->isEmpty())
        m_quickMenu->addSeparator();
    QAction *edit = m_quickMenu->addAction(QStringLiteral("快捷发送…"));
    onSignal(edit, &QAction::triggered, [this] { editQuickSends(); });
    QAction *stop = m_quickMenu->addAction(QStringLiteral("停止重复发送"));
    stop->setShortcut(QKeySequence(Qt::Key_Escape));
    stop->setShortcutContext(Qt::WidgetShortcut); // the key itself is the window's, above
    stop->setEnabled(m_quickSender->repeating());
    onSignal(stop, &QAction::triggered, [this] { stopRepeat(); });
}

void ConsoleWindow::setAppendsCr(bool appends)
{
    m_appendsCr = appends;
    updateTextEnding();
}

void ConsoleWindow::updateTextEnding()
{
    m_send.setTextEnding(textEnding(m_sendBoxMenu->lineEnding(), m_appendsCr));
}

void ConsoleWindow::guarded(const std::function<void()> &handler)
{
    runGuarded(handler, [this](const QString &description) { appendEntry(kRed, QStringLiteral("  ") + description); });
}

void ConsoleWindow::AppendLog(quint32 colour, const QString &text)
{
    TxtMsg->AppendLog(colour, text);
}

void ConsoleWindow::appendEntry(quint32 colour, const QString &message)
{
    AppendLog(colour, QStringLiteral("\r\n") + timeStamp() + message);
}

void ConsoleWindow::appendEntryAt(quint32 colour, const QString &message, qint64 wallMs)
{
    AppendLog(colour, QStringLiteral("\r\n") + (wallMs < 0 ? timeStamp() : timeStampAt(wallMs)) + message);
}

KeptPlace ConsoleWindow::appendListing(quint32 colour, const QByteArray &bytes)
{
    return TxtMsg->appendListing(colour, bytes);
}

bool ConsoleWindow::readKept(KeptPlace place, qint64 n, const KeptSink &sink) const
{
    return TxtMsg->store().readKept(place, n, sink);
}

void ConsoleWindow::logUnsent(qint64 bytes)
{
    if (bytes > 0)
        appendEntry(kRed, QStringLiteral("  有%1个字节未能送出，已丢弃").arg(bytes));
}

void ConsoleWindow::CmdClear_Click()
{
    TxtMsg->clearLog();
    m_receive.clearCapture();
}

void ConsoleWindow::saveReceived()
{
    const QString suggested = suggestedSavePath(QStringLiteral(".bin"));
    QString chosen;
    const QString path = askSavePath(this, QStringLiteral("保存接收数据"), suggested,
                                     QStringLiteral("接收数据 (*.bin);;所有文件 (*)"), &chosen);
    if (path.isEmpty())
        return;
    if (const Problem problem = m_receive.capture().saveTo(path))
        showNotice(this, QStringLiteral("保存失败：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
}

void ConsoleWindow::CmdQuit_Click()
{
    quitProgram();
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    quitProgram();
}

void ConsoleWindow::lightSendLamp()
{
    // The link has sent: a file going out hands over more at once.
    m_fileSend->linkSent();
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
    const SendCommand::Result sent = m_send.send(TxtSend->text());
    switch (sent.outcome) {
    case SendCommand::Outcome::LinkDown:
        refusedAsGone();
        return;
    case SendCommand::Outcome::NothingToSend:
        showNotice(this, QStringLiteral("请输入发送内容！"), QStringLiteral("提示"));
        TxtSend->setFocus();
        return;
    case SendCommand::Outcome::BeyondLimits:
        // The send box keeps the text so that it can be shortened.
        TxtSend->setFocus();
        return;
    case SendCommand::Outcome::Sent:
        m_history->record(sent.text);
        return;
    }
}
