// SPDX-License-Identifier: MIT
#pragma once

#include "logsink.h"
#include "receivecollection.h"
#include "sendcommand.h"
#include "sendlink.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <type_traits>

class FileSend;
class QMenu;
class QShortcut;
class QuickSender;
struct QuickSendSet;
class Lamp;
class Link;
class LogCommands;
class LogPane;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class SendBoxLimit;
class SendBoxMenu;
class SendHistory;

// What both consoles share: the log and its writer, the send command and the
// receive collection over the tool's link, the activity lamps and their
// timers, clear, quit and the fixed, centred window. A tool's window derives
// from it, places these controls in its own frames and drives the flows from
// its link's events.
class ConsoleWindow : public QWidget, public LogSink
{
    Q_OBJECT
public:
    // `link` is the tool's control, which the derived window owns.
    explicit ConsoleWindow(Link &link, QWidget *parent = nullptr);
    ~ConsoleWindow() override;

    void AppendLog(quint32 colour, const QString &text) override;
    // A new entry: CR LF, time stamp, message.
    void appendEntry(quint32 colour, const QString &message) override;
    void appendEntryAt(quint32 colour, const QString &message, qint64 wallMs) override;
    KeptPlace appendListing(quint32 colour, const QByteArray &bytes) override;
    bool readKept(KeptPlace place, qint64 n, const KeptSink &sink) const override;

    void CmdClear_Click();
    // Asks where, and writes there every byte received since the start or
    // the last clear, as it came.
    void saveReceived();
    void CmdQuit_Click();
    void CmdSend_Click();
    void TimeSend_Timer();
    void TimeArrv_Timer();

    // Says in red that `bytes` handed over to the link never went out (when
    // there are any): the log must not be left claiming they were sent.
    void logUnsent(qint64 bytes);

    // Light an activity lamp for one timer interval.
    void lightSendLamp();
    void lightArrvLamp();

    // The log's "在大窗口中查看" (F11 while the log has the focus): the same
    // log in a window of its own that can be resized and maximised, live,
    // with its own find, copy and save; closing it leaves the tool as it
    // was. Brought up again if it is open.
    void showLargeView();
    QWidget *largeView() const { return m_largeView; }

    // Find, save and record of the log.
    LogCommands *logCommands() const { return m_logCommands; }
    // The send box's menu: how a send ends.
    SendBoxMenu *sendBoxMenu() const { return m_sendBoxMenu; }
    // How received data is cut into entries: `gapMs` of silence ends one
    // (0: the one-second collection), stamps with or without milliseconds.
    void setFraming(int gapMs, bool msStamps);
    int frameGap() const { return m_receive.frameGap(); }
    // The log menu's "接收分帧…": asks, in a small dialog.
    void chooseFraming();
    // The send box menu's "发送文件…": asks which file and how, then sends
    // it with a progress dialog that can cancel.
    void sendFile();
    FileSend *fileSend() const { return m_fileSend; }

    // The quick sends on F1 to F12 (and in the send box's menu). Setting
    // them keeps them in the tool's configuration folder; using them (a
    // set from the command line) is for this run only.
    const QuickSendSet &quickSends() const { return *m_quickSends; }
    void setQuickSends(const QuickSendSet &set);
    void useQuickSends(const QuickSendSet &set);
    // Sends the quick send on F<key + 1>; stops a repeat under way.
    void sendQuick(int key);
    void stopRepeat();
    QuickSender *quickSender() const { return m_quickSender; }
    // The send box menu's "快捷发送…": the set in a dialog.
    void editQuickSends();

    // The controls both tools have, under their given names.
    LogPane *TxtMsg;
    QLineEdit *TxtSend;
    QLabel *Label2;
    QRadioButton *OptSend[2];
    QRadioButton *OptArrv[2];
    QPushButton *CmdSend;
    QPushButton *CmdClear;
    QPushButton *CmdQuit;
    Lamp *ShpSend;
    Lamp *ShpArrv;
    QTimer *TimeSend;
    QTimer *TimeArrv;

    static constexpr int kLampIntervalMs = 200;

private:
    // (Declared here: the flag below reads it.)
    ReceiveCollection m_receive;

public:
    // A receive collection is under way.
    const bool &Receiving = m_receive.collecting();

protected:
    // Why the link went down while the window still shows it up (a device
    // unplugged), for a send refused then; empty when it did not.
    virtual QString whyLinkIsGone() const { return QString(); }

    // Fixes the client area (in twips) and centres the window on its screen.
    void setClientArea(int widthTwips, int heightTwips);
    // A box of the tool's that appends a carriage return to text sends.
    void setAppendsCr(bool appends);
    // Where the tool keeps its settings (the quick sends): read from there.
    void setConfigFolder(const QString &folder);

    // Connects a signal to a handler run under a guard: a failure that
    // escapes the handler is logged as one red entry.
    template<typename Sender, typename Signal, typename Handler>
    void onSignal(Sender *sender, Signal signal, Handler handler)
    {
        connect(sender, signal, this, [this, handler](const auto &...args) { this->runHandler(handler, args...); });
    }
    // The handler with the signal's arguments, or without them when it
    // takes none. (Outside the lambda above: clang 14 reads a
    // `decltype(args)...` there as an empty pack.)
    template<typename Handler, typename... Args>
    void runHandler(const Handler &handler, const Args &...args)
    {
        if constexpr (std::is_invocable_v<const Handler &, const Args &...>)
            guarded([&] { handler(args...); });
        else
            guarded(handler);
    }
    void guarded(const std::function<void()> &handler);

    // The flows over the tool's link. The window calls collect() on each
    // arrival event, and logRest() before it writes the line of whatever
    // ends the link.
    ReceiveCollection &receiveCollection() { return m_receive; }
    SendCommand &sendCommand() { return m_send; }
    // Sends (the send button, quick sends, a file) go through `link` from
    // now on; nullptr: through the tool's own link again.
    void sendThrough(Link *link) { m_sendLink.sendThrough(link); }

    void closeEvent(QCloseEvent *event) override;

private:
    Link &m_link;
    SendLink m_sendLink;
    SendCommand m_send;
    LogCommands *m_logCommands = nullptr;
    SendHistory *m_history = nullptr;
    SendBoxMenu *m_sendBoxMenu = nullptr;
    FileSend *m_fileSend = nullptr;
    std::unique_ptr<QuickSendSet> m_quickSends;
    QuickSender *m_quickSender = nullptr;
    QMenu *m_quickMenu = nullptr;
    QShortcut *m_stopShortcut = nullptr;
    QPointer<QWidget> m_largeView;
    QString m_configFolder;
    Problem m_quickSendsProblem; // why the kept set could not be read
    void updateQuickMenu();
    // A send on a link that went down under the window: one red entry
    // with the reason (nothing is sent or logged as sent). True when so.
    bool refusedAsGone();
    bool m_appendsCr = false;
    // The text ending follows the menu's choice and the tool's CR box.
    void updateTextEnding();
};
