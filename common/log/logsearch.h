// SPDX-License-Identifier: MIT
#pragma once

#include "logstore.h"

#include <QObject>
#include <QString>
#include <QStringView>

// Finds a text in any case, as QString::indexOf and lastIndexOf do with
// Qt::CaseInsensitive, but with a skip table over the folded characters:
// about twice as fast as Qt's own on a long log. A needle with surrogates
// (an emoji, say) is left to Qt.
class FoldedMatcher
{
public:
    explicit FoldedMatcher(const QString &needle = QString());
    void setPattern(const QString &needle);
    qsizetype size() const { return m_needle.size(); }
    // The first match that starts at or after `from`, or -1.
    qsizetype indexIn(QStringView text, qsizetype from = 0) const;
    // The last match that starts at or before `from` (counted from the
    // start, never from the end as Qt's negative values are), or -1.
    qsizetype lastIndexIn(QStringView text, qsizetype from) const;

private:
    QString m_needle;
    QString m_folded;
    bool m_ours = false;
    // Shifts by the low byte of a folded character; characters that share
    // a byte share the smallest shift, which keeps every match.
    qsizetype m_skip[256] = {};
    qsizetype m_backSkip[256] = {};
};

// A search of the log for a text, case-insensitive, run in slices between
// events so that the window stays live however large the log is. It looks
// from a position on (or back), then wraps around to the other end.
class LogSearch : public QObject
{
    Q_OBJECT
public:
    // Characters looked at in one turn of the event loop.
    static constexpr qint64 kSlice = qint64(1) << 22;

    explicit LogSearch(const LogStore &store, QObject *parent = nullptr);

    // Starts a new search (dropping one under way): forward, the first
    // match that starts at or after `from`; backward, the last that starts
    // before it.
    void start(const QString &needle, qint64 from, bool backward);
    void cancel();
    bool running() const { return m_running; }

signals:
    // `at` < 0: no match anywhere. `wrapped`: found past the other end.
    void finished(qint64 at, qint64 length, bool wrapped);

private:
    // A listing at least this long is searched by its bytes.
    static constexpr qint64 kLongListing = qint64(1) << 16;
    // Characters of listing looked through by their bytes in one turn,
    // and what one costs against a character of text.
    static constexpr qint64 kListedSlice = qint64(1) << 28;
    static constexpr qint64 kListedCost = 64;

    void step();
    bool byBytes(qint64 runFrom, qint64 runTo, bool listing) const;
    qint64 longListingAfter(qint64 position, qint64 before) const;
    qint64 longListingBelow(qint64 position, qint64 after) const;

    const LogStore &m_store;
    FoldedMatcher m_matcher; // prepared once for a search of many slices
    LogStore::ListedBytes m_listed;
    qint64 m_origin = 0;
    qint64 m_pos = 0;
    qint64 m_size = 0;
    bool m_backward = false;
    bool m_wrapped = false;
    bool m_running = false;
    quint64 m_run = 0; // drops the steps of a search that was replaced
};
