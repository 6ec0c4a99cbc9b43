// SPDX-License-Identifier: MIT
#include "receivecollection.h"

#include "clock.h"
#include "link.h"
#include "logcolours.h"
#include "logsink.h"

#include <new>

void SettleWhileGrowing::settle(Link &link)
{
    qint64 remembered = 0;
    for (;;) {
        const qint64 waiting = link.waiting();
        if (waiting == remembered)
            break;
        if (waiting < link.holdsAtMost())
            m_pause.wait(kSeconds);
        remembered = link.waiting();
        if (!link.linkUp())
            break;
    }
}

void SettleWhileGrowing::arrived(Link &link)
{
    // A link that holds all it can takes nothing more: waiting out the
    // second would only idle it.
    if (link.waiting() >= link.holdsAtMost())
        m_pause.end();
}

ReceiveCollection::ReceiveCollection(Link &link, LogSink &log, std::function<void()> lightLamp)
    : m_link(link), m_log(log), m_lightLamp(std::move(lightLamp)), m_settle(std::make_unique<SettleWhileGrowing>()),
      m_capture([&log](KeptPlace place, qint64 n, const KeptSink &sink) { return log.readKept(place, n, sink); })
{
}

void ReceiveCollection::setSource(const QString &name)
{
    const QString from = name.isEmpty() ? QString() : QStringLiteral("（") + name + QStringLiteral("）");
    m_textHeader = QStringLiteral("  接收文本") + from + QStringLiteral("：  ");
    m_bytesHeader = QStringLiteral("  接收数据") + from + QStringLiteral("：");
}

void ReceiveCollection::setSettlePolicy(std::unique_ptr<SettlePolicy> policy)
{
    m_settle = std::move(policy);
}

void ReceiveCollection::collect()
{
    m_lightLamp();
    if (m_collecting) {
        m_settle->arrived(m_link);
        // A full link takes nothing more until read: no frame waits on it.
        if (m_link.waiting() >= m_link.holdsAtMost())
            m_framePause.end();
        return;
    }
    m_collecting = true;
    m_takenUnderCollection = false;
    // Whatever happens below, the next arrival must start a fresh collection.
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_collecting};

    if (m_gapMs > 0) {
        collectFrames();
        return;
    }
    m_settle->settle(m_link);
    if (!m_link.linkUp())
        return;
    QByteArray bytes = m_link.takeWaiting();
    // Nothing is left of what it settled on: there is no entry to write.
    if (bytes.isEmpty() && m_takenUnderCollection)
        return;
    m_link.arrivalMarks().take(bytes.size());
    logReceived(std::move(bytes), false);
}

void ReceiveCollection::logWaiting()
{
    if (!m_link.linkUp())
        return;
    QByteArray bytes = m_link.takeWaiting();
    if (m_gapMs > 0 || !m_pending.isEmpty()) {
        addPending(bytes);
        logFrames(true, false);
        return;
    }
    if (bytes.isEmpty())
        return;
    m_link.arrivalMarks().take(bytes.size());
    m_takenUnderCollection = m_collecting;
    logReceived(std::move(bytes), false);
}

void ReceiveCollection::logRest()
{
    QByteArray rest = m_link.takeEverything();
    if (m_gapMs > 0 || !m_pending.isEmpty()) {
        // What came before, framed as it came; the last frame as the last.
        addPending(rest);
        logFrames(true, true);
        return;
    }
    m_link.arrivalMarks().take(rest.size());
    if (rest.isEmpty() && !m_decoder.holding())
        return;
    logReceived(std::move(rest), true);
}

void ReceiveCollection::addPending(const QByteArray &bytes)
{
    const qint64 base = m_pending.size();
    for (const Arrival &a : m_link.arrivalMarks().take(bytes.size()))
        m_pendingMarks.push_back(Arrival{base + a.end, a.clockMs, a.wallMs});
    m_pending += bytes;
}

void ReceiveCollection::logFrames(bool rest, bool ending)
{
    const qint64 bound = std::max<qint64>(1, m_link.holdsAtMost());
    qint64 from = 0;
    size_t mark = 0;
    const auto logUpTo = [&](qint64 end, bool last) {
        // Stamped with the read that brought its first byte.
        while (mark < m_pendingMarks.size() && m_pendingMarks[mark].end <= from)
            ++mark;
        const qint64 wall = mark < m_pendingMarks.size() ? m_pendingMarks[mark].wallMs : -1;
        logReceived(m_pending.mid(from, end - from), last, wall);
        from = end;
    };
    for (size_t k = 0; k < m_pendingMarks.size(); ++k) {
        const Arrival &a = m_pendingMarks[k];
        // A frame that reaches the bound ends there.
        while (a.end - from > bound)
            logUpTo(from + bound, false);
        const bool silenceAfter = k + 1 < m_pendingMarks.size() && m_pendingMarks[k + 1].clockMs - a.clockMs >= m_gapMs;
        if (silenceAfter || a.end - from == bound)
            logUpTo(a.end, false);
    }
    if (rest && (from < m_pending.size() || (ending && m_decoder.holding())))
        logUpTo(m_pending.size(), ending);
    // Keep what is left, its marks counted from its start.
    std::vector<Arrival> left;
    for (const Arrival &a : m_pendingMarks)
        if (a.end > from)
            left.push_back(Arrival{a.end - from, a.clockMs, a.wallMs});
    m_pendingMarks = std::move(left);
    m_pending.remove(0, from);
}

void ReceiveCollection::collectFrames()
{
    for (;;) {
        addPending(m_link.takeWaiting());
        logFrames(false, false);
        if (m_pending.isEmpty())
            return;
        // The last frame ends once the link has been silent for the gap.
        const qint64 quiet = Clock::current().nowMs() - m_pendingMarks.back().clockMs;
        if (quiet >= m_gapMs) {
            logFrames(true, false);
            return;
        }
        m_framePause.wait(double(std::max<qint64>(1, m_gapMs - quiet)) / 1000.0);
        // Whatever ended the link meanwhile logged the rest.
        if (!m_link.linkUp())
            return;
    }
}

void ReceiveCollection::logReceived(QByteArray bytes, bool last, qint64 wallMs)
{
    // Text is captured as it came, before any of it is held or shown; a
    // listing keeps the bytes as they came, and the capture reads them
    // there. From where `bytes` is still to be captured (-1: it is).
    qsizetype uncaptured = -1;
    if (m_showsText)
        m_capture.append(bytes);
    else
        uncaptured = 0;
    qint64 unshown = bytes.size();
    try {
        if (m_showsText) {
            QString text = m_decoder.decode(bytes);
            if (last)
                text += m_decoder.finish();
            // Two writes of one colour read as one entry, without a copy of
            // the text.
            m_log.appendEntryAt(kBlack, m_textHeader, wallMs);
            m_log.AppendLog(kBlack, text);
        } else {
            // Bytes held for a cut character after a text read come first:
            // they arrived before the rest (and were captured then).
            if (m_decoder.holding()) {
                const QByteArray held = m_decoder.takeHeld();
                bytes.prepend(held);
                uncaptured = held.size();
            }
            unshown = bytes.size();
            m_log.appendEntryAt(kBlack, m_bytesHeader, wallMs);
            const KeptPlace place = m_log.appendListing(kBlack, bytes);
            if (place.kept()) {
                m_capture.appendKept(place.after(uncaptured), bytes.size() - uncaptured);
                uncaptured = -1;
            }
        }
    } catch (const std::bad_alloc &) {
        // The log can grow no more: what it could not show is counted, to
        // the byte, and said as soon as there is room for the words.
        m_unlogged += unshown;
    }
    if (uncaptured >= 0)
        m_capture.append(uncaptured ? bytes.mid(uncaptured) : bytes);
    if (m_unlogged > 0) {
        try {
            m_log.appendEntry(kRed, QStringLiteral("  内存不足：收到的%1个字节未能记入信息（仍可由“保存接收数据…”存下）")
                                        .arg(m_unlogged));
            m_unlogged = 0;
        } catch (const std::bad_alloc &) {
        }
    }
}
