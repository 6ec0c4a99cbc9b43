// SPDX-License-Identifier: MIT
#include "logcaret.h"

#include "logrows.h"
#include "logstore.h"

#include <QKeyEvent>
#include <QKeySequence>

#include <algorithm>
#include <iterator>

namespace {

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

// How far a word is looked for around a position.
constexpr qint64 kLongestWord = 256;

} // namespace

bool LogCaret::moveOfKey(const QKeyEvent *event, Move *move, bool *extend)
{
    static const struct
    {
        QKeySequence::StandardKey move, select;
        Move kind;
    } keys[] = {
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Previous},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Next},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Up},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Down},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, RowStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, RowEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Start},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, End},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PageUp},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, PageDown},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, WordBack},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, WordOn},
    };
    for (const auto &key : keys) {
        const bool selects = event->matches(key.select);
        if (selects || event->matches(key.move)) {
            *move = key.kind;
            *extend = selects;
            return true;
        }
    }
    return false;
}

qint64 LogCaret::sameColumnIn(qint64 row, qint64 column) const
{
    row = std::clamp<qint64>(row, 0, m_rows.count() - 1);
    const LogRows::Row r = m_rows.row(row);
    const qint64 k = row - m_rows.firstRowOf(r.line);
    qint64 at = std::min(m_store.positionAtCell(r.line, m_rows.startCell(r.line, k) + column), r.end);
    // The end of a row that is not its line's last is where the next row
    // starts (a dump's first row after a line's text, say): the caret stays
    // in the row it was sent to.
    if (at == r.end && at > r.first && m_rows.rowOf(at) != row) {
        --at;
        if (at > r.first && m_store.text(at, at + 1).at(0).isLowSurrogate())
            --at;
    }
    return at;
}

bool LogCaret::isWordCharacterAt(qint64 position) const
{
    return isWordCharacter(m_store.text(position, position + 1).at(0));
}

qint64 LogCaret::moved(qint64 caret, Move move, qint64 pageRows) const
{
    const qint64 row = m_rows.rowOf(caret);
    const LogRows::Row current = m_rows.row(row);
    const qint64 column = m_store.cellAt(caret) - m_rows.startCell(current.line, row - m_rows.firstRowOf(current.line));
    const auto isLowSurrogateAt = [&](qint64 p) { return m_store.text(p, p + 1).at(0).isLowSurrogate(); };
    switch (move) {
    case Previous: {
        qint64 to = std::max<qint64>(0, caret - 1);
        if (to > 0 && isLowSurrogateAt(to))
            --to;
        return to;
    }
    case Next: {
        qint64 to = std::min(m_store.size(), caret + 1);
        if (to < m_store.size() && isLowSurrogateAt(to))
            ++to;
        return to;
    }
    case Up: return row > 0 ? sameColumnIn(row - 1, column) : 0;
    case Down: return row + 1 < m_rows.count() ? sameColumnIn(row + 1, column) : m_store.size();
    case RowStart: return current.first;
    case RowEnd: return current.end;
    case Start: return 0;
    case End: return m_store.size();
    case PageUp: return sameColumnIn(row - pageRows, column);
    case PageDown: return sameColumnIn(row + pageRows, column);
    case WordBack: {
        qint64 p = caret;
        while (p > 0 && !isWordCharacterAt(p - 1))
            --p;
        return wordStart(p);
    }
    case WordOn: {
        // To the start of the next word.
        qint64 p = wordEnd(caret);
        while (p < m_store.size() && !isWordCharacterAt(p))
            ++p;
        return p;
    }
    }
    return caret;
}

qint64 LogCaret::wordStart(qint64 position) const
{
    const qint64 from = std::max<qint64>(0, position - kLongestWord);
    const QString before = m_store.text(from, position);
    qsizetype i = before.size();
    while (i > 0 && isWordCharacter(before.at(i - 1)))
        --i;
    return from + i;
}

qint64 LogCaret::wordEnd(qint64 position) const
{
    const QString after = m_store.text(position, position + kLongestWord);
    qsizetype i = 0;
    while (i < after.size() && isWordCharacter(after.at(i)))
        ++i;
    return position + i;
}

std::pair<qint64, qint64> LogCaret::wordAt(qint64 position) const
{
    const qint64 start = wordStart(position);
    qint64 end = wordEnd(position);
    if (end == start && position < m_store.size())
        end = position + 1;
    return {start, end};
}
