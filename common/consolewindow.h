// SPDX-License-Identifier: MIT
#pragma once

#include "pause.h"
#include "receivedcapture.h"
#include "textdecoder.h"

#include <QWidget>
#include <functional>
#include <type_traits>

class LogPane;
class Lamp;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class SendHistory;

// What both consoles share: the log and its writer, the send command over a
// link, the receive collection, the activity lamps and their timers, clear,
// quit and the fixed, centred window. A tool's window derives from it, places
// these controls in its own frames and supplies the link-specific steps.
class ConsoleWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ConsoleWindow(QWidget *parent = nullptr);

    void AppendLog(quint32 colour, const QString &text);
    // A new entry: CR LF, time stamp, message.
    void AppendEntry(quint32 colour, const QString &message);

    void CmdClear_Click();
    // Asks where, and writes there every byte received since the start or
    // the last clear, as it came.
    void saveReceived();
    void CmdQuit_Click();
    void CmdSend_Click();
    void TimeSend_Timer();
    void TimeArrv_Timer();

    // Light an activity lamp for one timer interval.
    void lightSendLamp();
    void lightArrvLamp();

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

    // A receive collection is under way.
    bool Receiving = false;

    static constexpr double kSettleSeconds = 1.0;
    static constexpr int kLampIntervalMs = 200;

protected:
    // Fixes the client area (in twips) and centres the window on its screen.
    void setClientArea(int widthTwips, int heightTwips);

    // Connects a signal to a handler run under a guard: a failure that
    // escapes the handler is logged as one red entry.
    template<typename Sender, typename Signal, typename Handler>
    void onSignal(Sender *sender, Signal signal, Handler handler)
    {
        connect(sender, signal, this, [this, handler](const auto &...args) { this->runGuarded(handler, args...); });
    }
    // The handler with the signal's arguments, or without them when it
    // takes none. (Outside the lambda above: clang 14 reads a
    // `decltype(args)...` there as an empty pack.)
    template<typename Handler, typename... Args>
    void runGuarded(const Handler &handler, const Args &...args)
    {
        if constexpr (std::is_invocable_v<const Handler &, const Args &...>)
            guarded([&] { handler(args...); });
        else
            guarded(handler);
    }
    void guarded(const std::function<void()> &handler);

    // The send command's link-specific steps.
    virtual bool sendLinkUp() = 0;
    virtual QString sendTextPayload(const QString &trimmed) { return trimmed; }
    virtual void handOverText(const QString &payload) = 0;
    virtual void handOverBytes(const QByteArray &payload) = 0;

    // The receive collection: light the arrival lamp (on every call, a
    // nested one too), settle until the count stops growing or the link
    // holds all it can, read everything and log it as text or bytes.
    void collectReceived();
    // Whatever ends a link calls this before it writes its own line: what
    // the link delivered and the log has not shown yet (waiting, or held
    // from a cut character) is logged now as the ordinary receive entry, so
    // nothing that came before the end stands after it or is lost.
    void logRemaining();
    virtual qint64 receiveWaiting() = 0;
    // What the link holds at most: with that much waiting it takes no more
    // until it is read, so the settle ends there.
    virtual qint64 receiveLimit() = 0;
    virtual bool receiveLinkUp() = 0;
    // Everything waiting, as it came; the window turns it into text itself.
    virtual QByteArray receiveBytes() = 0;
    // The same past the link's bound, with what the system holds for it:
    // everything received before the link ends.
    virtual QByteArray receiveRest() = 0;

    void closeEvent(QCloseEvent *event) override;

private:
    // Logs what was read in the current receive mode; `last`: the link is
    // ending, so a held cut character can never be completed and is shown
    // as U+FFFD.
    void logReceived(QByteArray bytes, bool last);

    // Received text spans reads: a character cut by one read waits here
    // for the next.
    StreamTextDecoder m_received;
    // The settle of the collection under way.
    Pause m_settle;
    ReceivedCapture m_capture;
    SendHistory *m_history = nullptr;
};
