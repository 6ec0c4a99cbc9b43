// SPDX-License-Identifier: MIT
#include "logsearch.h"

#include "logstore.h"

#include <QMetaObject>

#include <algorithm>

namespace {
// One UTF-16 unit folded as Qt folds it, ASCII without a table.
inline char16_t fold(char16_t c)
{
    if (c < 0x80)
        return char16_t(c - u'A') < 26 ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}
} // namespace

FoldedMatcher::FoldedMatcher(const QString &needle)
{
    setPattern(needle);
}

void FoldedMatcher::setPattern(const QString &needle)
{
    m_needle = needle;
    m_folded.resize(needle.size());
    m_ours = !needle.isEmpty();
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t c = needle.at(i).unicode();
        // A pair folds as one character, which the unit tables cannot see.
        m_ours = m_ours && !QChar::isSurrogate(c);
        m_folded[i] = QChar(fold(c));
    }
    if (!m_ours)
        return;
    const qsizetype m = m_folded.size();
    std::fill(std::begin(m_skip), std::end(m_skip), m);
    std::fill(std::begin(m_backSkip), std::end(m_backSkip), m);
    // Written nearest last, so a shared byte keeps the smaller shift.
    for (qsizetype i = 0; i + 1 < m; ++i)
        m_skip[m_folded.at(i).unicode() & 0xFF] = m - 1 - i;
    for (qsizetype i = m - 1; i > 0; --i)
        m_backSkip[m_folded.at(i).unicode() & 0xFF] = i;
}

qsizetype FoldedMatcher::indexIn(QStringView text, qsizetype from) const
{
    if (!m_ours)
        return text.indexOf(m_needle, from, Qt::CaseInsensitive);
    const qsizetype m = m_folded.size();
    const char16_t *h = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *f = reinterpret_cast<const char16_t *>(m_folded.constData());
    const char16_t lastNeedle = f[m - 1];
    for (qsizetype at = std::max<qsizetype>(from, 0); at + m <= text.size();) {
        const char16_t last = fold(h[at + m - 1]);
        if (last == lastNeedle) {
            qsizetype i = m - 2;
            while (i >= 0 && fold(h[at + i]) == f[i])
                --i;
            if (i < 0)
                return at;
        }
        at += m_skip[last & 0xFF];
    }
    return -1;
}

qsizetype FoldedMatcher::lastIndexIn(QStringView text, qsizetype from) const
{
    if (!m_ours)
        return text.lastIndexOf(m_needle, from, Qt::CaseInsensitive);
    const qsizetype m = m_folded.size();
    const char16_t *h = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *f = reinterpret_cast<const char16_t *>(m_folded.constData());
    for (qsizetype at = std::min(from, text.size() - m); at >= 0;) {
        const char16_t first = fold(h[at]);
        if (first == f[0]) {
            qsizetype i = 1;
            while (i < m && fold(h[at + i]) == f[i])
                ++i;
            if (i == m)
                return at;
        }
        at -= m_backSkip[first & 0xFF];
    }
    return -1;
}

LogSearch::LogSearch(const LogStore &store, QObject *parent) : QObject(parent), m_store(store)
{
}

void LogSearch::start(const QString &needle, qint64 from, bool backward)
{
    ++m_run;
    m_matcher.setPattern(needle);
    m_listed = LogStore::ListedBytes::of(needle);
    m_size = m_store.size();
    m_origin = std::clamp<qint64>(from, 0, m_size);
    m_pos = m_origin;
    m_backward = backward;
    m_wrapped = false;
    m_running = true;
    const quint64 run = m_run;
    QMetaObject::invokeMethod(this, [this, run] {
        if (run == m_run)
            step();
    }, Qt::QueuedConnection);
}

void LogSearch::cancel()
{
    ++m_run;
    m_running = false;
}

bool LogSearch::byBytes(qint64 runFrom, qint64 runTo, bool listing) const
{
    // A listing is searched by its bytes when the text could only be found
    // in it as bytes to scan for, or not at all.
    return listing && runTo - runFrom >= kLongListing && (!m_listed.possible || m_listed.anchor >= 0);
}

qint64 LogSearch::longListingAfter(qint64 position, qint64 before) const
{
    // The next run after the one at `position` that is searched by its
    // bytes, if it starts before `before`.
    qint64 from, to;
    m_store.runAround(position, &from, &to);
    for (qint64 at = to; at < before && at < m_size; at = to) {
        const bool listing = m_store.runAround(at, &from, &to);
        if (byBytes(from, to, listing))
            return from;
    }
    return before;
}

qint64 LogSearch::longListingBelow(qint64 position, qint64 after) const
{
    // Where the interior of the nearest run below `position` that is
    // searched by its bytes ends, if above `after`.
    const qint64 length = m_matcher.size();
    for (qint64 at = position; at > after && at > 0;) {
        qint64 from, to;
        const bool listing = m_store.runAround(at - 1, &from, &to);
        if (byBytes(from, to, listing) && to - length + 1 > from)
            return std::max(after, std::min(at, to - length + 1));
        at = from;
    }
    return after;
}

void LogSearch::step()
{
    if (!m_running)
        return;
    const qint64 length = m_matcher.size();
    bool done = false;
    qint64 at = -1;
    // Within a long listing, the matches that lie wholly inside it are
    // looked for in its bytes (no listing is written out, and a byte costs
    // far less than a character of text); every other start in the text.
    qint64 budget = kSlice;
    if (!m_backward) {
        // Matches that start in [m_pos, end): first from the origin to the
        // log's end, then from its start to the origin.
        const qint64 end = m_wrapped ? std::min(m_origin, m_size) : m_size;
        const qint64 limit = m_wrapped ? std::min(m_size, m_origin + length - 1) : m_size;
        while (at < 0 && budget > 0 && m_pos < end) {
            qint64 runFrom, runTo;
            const bool listing = m_store.runAround(m_pos, &runFrom, &runTo);
            const qint64 inside = std::min(end, runTo - length + 1);
            if (byBytes(runFrom, runTo, listing) && inside > m_pos) {
                const qint64 to = std::min(inside, m_pos + kListedSlice);
                if (m_listed.possible)
                    at = m_store.findListed(m_listed, length, m_pos, to, false);
                budget -= (to - m_pos) / kListedCost + 1;
                m_pos = to;
                continue;
            }
            const qint64 to = longListingAfter(m_pos, std::min(end, m_pos + budget));
            const QString text = m_store.text(m_pos, std::min(limit, to + length - 1));
            const qsizetype found = m_matcher.indexIn(text);
            if (found >= 0 && m_pos + found < to)
                at = m_pos + found;
            budget -= to - m_pos;
            m_pos = to;
        }
        if (at < 0 && m_pos >= end) {
            if (m_wrapped)
                done = true;
            else
                m_wrapped = true, m_pos = 0;
        }
    } else {
        // Matches that start in [floor, m_pos), going down: first below the
        // origin, then from the log's end down to it.
        const qint64 floor = m_wrapped ? m_origin : 0;
        while (at < 0 && budget > 0 && m_pos > floor) {
            qint64 runFrom, runTo;
            const bool listing = m_store.runAround(m_pos - 1, &runFrom, &runTo);
            if (byBytes(runFrom, runTo, listing) && m_pos <= runTo - length + 1) {
                const qint64 from = std::max({floor, runFrom, m_pos - kListedSlice});
                if (m_listed.possible)
                    at = m_store.findListed(m_listed, length, from, m_pos, true);
                budget -= (m_pos - from) / kListedCost + 1;
                m_pos = from;
                continue;
            }
            const qint64 from = longListingBelow(m_pos, std::max(floor, m_pos - budget));
            const QString text = m_store.text(from, std::min(m_size, m_pos + length - 1));
            const qsizetype found = m_matcher.lastIndexIn(text, m_pos - 1 - from);
            if (found >= 0)
                at = from + found;
            budget -= m_pos - from;
            m_pos = from;
        }
        if (at < 0 && m_pos <= floor) {
            if (m_wrapped)
                done = true;
            else
                m_wrapped = true, m_pos = m_size;
        }
    }
    if (at >= 0 || done) {
        m_running = false;
        emit finished(at, at >= 0 ? length : 0, at >= 0 && m_wrapped);
        return;
    }
    const quint64 run = m_run;
    QMetaObject::invokeMethod(this, [this, run] {
        if (run == m_run)
            step();
    }, Qt::QueuedConnection);
}
