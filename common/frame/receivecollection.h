// SPDX-License-Identifier: MIT
#pragma once

#include "arrivals.h"
#include "pause.h"
#include "receivedcapture.h"
#include "textdecoder.h"

#include <functional>
#include <memory>
#include <vector>

class Link;
class LogSink;

// How a collection lets a burst come in before it reads. It pumps events
// while it waits, so handlers (a nested arrival among them) run meanwhile.
class SettlePolicy
{
public:
    virtual ~SettlePolicy() = default;
    // Waits until the burst is in or the link is down.
    virtual void settle(Link &link) = 0;
    // More arrived while settling (an arrival event handled inside the wait).
    virtual void arrived(Link &link) = 0;
};

// Settles a second at a time until the waiting count has stopped growing
// (two readings straight after a pause agree) or the link holds all it can;
// a link that holds all it can takes nothing more until read, so that ends
// a pause under way at once.
class SettleWhileGrowing : public SettlePolicy
{
public:
    static constexpr double kSeconds = 1.0;
    void settle(Link &link) override;
    void arrived(Link &link) override;

private:
    Pause m_pause;
};

// What a tool does with received data: on each arrival event it lights the
// lamp, settles, reads all that waits and logs it as text or as a byte
// listing; whatever ends the link first logs what the link still holds
// (logRest), so that nothing that came before the end stands after it or
// is lost. Text is decoded across reads, a character cut by one read
// completed by the next. Every byte read is kept as it came (capture()).
//
// With a frame gap set, it logs frames instead: an entry ends where the
// link was silent for the gap (by when the reads from the system came, not
// when the window got to them) or where the link's bound is reached, and
// is stamped with when its first byte came.
class ReceiveCollection
{
public:
    // `lightLamp` runs on every arrival, a nested one too.
    ReceiveCollection(Link &link, LogSink &log, std::function<void()> lightLamp);

    // An arrival event.
    void collect();
    // The link is ending (a close, a hang-up, the peer's end, a failure):
    // logs what it still holds, and shows a cut character as U+FFFD.
    void logRest();

    // An event of the link that stands after what came before it (an
    // end-of-file character) is about to be logged: logs what waits now,
    // first. A collection under way then logs only what comes after.
    void logWaiting();

    // Received data shows as text (the default) or as a byte listing; read
    // as each collection logs.
    void setShowsText(bool text) { m_showsText = text; }
    // A collection is under way (its settle is pumping events).
    const bool &collecting() const { return m_collecting; }
    // Milliseconds of silence that end a frame; 0: a collection settles
    // and logs what came, as always.
    void setFrameGap(int ms) { m_gapMs = ms; }
    int frameGap() const { return m_gapMs; }
    // Names whom the data came from in each entry's header, as in
    // "  接收文本（name）：  " (a server's client); empty: no name, as always.
    void setSource(const QString &name);
    // Replaces how a collection settles.
    void setSettlePolicy(std::unique_ptr<SettlePolicy> policy);

    // Everything read since the start or the last clear, as it came.
    const ReceivedCapture &capture() const { return m_capture; }
    void clearCapture() { m_capture.clear(); }

private:
    // `last`: the link is ending, so a held cut character can never be
    // completed. `wallMs`: when the first byte came (negative: stamp now).
    void logReceived(QByteArray bytes, bool last, qint64 wallMs = -1);
    // Frames: adds taken bytes (and their marks) to what is pending; logs
    // every frame the marks show complete, and with `rest` what is left as
    // one more (`ending`: the link is ending).
    void addPending(const QByteArray &bytes);
    void logFrames(bool rest, bool ending);
    void collectFrames();

    Link &m_link;
    LogSink &m_log;
    std::function<void()> m_lightLamp;
    std::unique_ptr<SettlePolicy> m_settle;
    bool m_collecting = false;
    // logWaiting() took what a collection under way was settling on.
    bool m_takenUnderCollection = false;
    bool m_showsText = true;
    StreamTextDecoder m_decoder;
    ReceivedCapture m_capture;
    // Received bytes the log had no room to show, not yet said.
    qint64 m_unlogged = 0;
    int m_gapMs = 0;
    QString m_textHeader = QStringLiteral("  接收文本：  ");
    QString m_bytesHeader = QStringLiteral("  接收数据：");
    // Taken but not yet logged, with when its parts came.
    QByteArray m_pending;
    std::vector<Arrival> m_pendingMarks;
    Pause m_framePause;
};
