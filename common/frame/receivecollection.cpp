// SPDX-License-Identifier: MIT
#include "receivecollection.h"

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

void ReceiveCollection::setSettlePolicy(std::unique_ptr<SettlePolicy> policy)
{
    m_settle = std::move(policy);
}

void ReceiveCollection::collect()
{
    m_lightLamp();
    if (m_collecting) {
        m_settle->arrived(m_link);
        return;
    }
    m_collecting = true;
    // Whatever happens below, the next arrival must start a fresh collection.
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_collecting};

    m_settle->settle(m_link);
    if (!m_link.linkUp())
        return;
    logReceived(m_link.takeWaiting(), false);
}

void ReceiveCollection::logRest()
{
    QByteArray rest = m_link.takeEverything();
    if (rest.isEmpty() && !m_decoder.holding())
        return;
    logReceived(std::move(rest), true);
}

void ReceiveCollection::logReceived(QByteArray bytes, bool last)
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
            m_log.appendEntry(kBlack, QStringLiteral("  接收文本：  "));
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
            m_log.appendEntry(kBlack, QStringLiteral("  接收数据："));
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
