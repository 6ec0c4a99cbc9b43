// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <utility>

class LogRows;
class LogStore;
class QKeyEvent;

// Where the caret goes in the log's text: by character, to the same column
// of another row, by word, to either end of a row or of the log. It reads
// the store and its rows and keeps nothing of its own.
class LogCaret
{
public:
    enum Move { Previous, Next, Up, Down, RowStart, RowEnd, Start, End, PageUp, PageDown, WordBack, WordOn };

    LogCaret(const LogStore &store, const LogRows &rows) : m_store(store), m_rows(rows) {}

    // The move one of the standard moving keys asks for; false for any
    // other key. `extend`: it selects as it moves (Shift).
    static bool moveOfKey(const QKeyEvent *event, Move *move, bool *extend);

    // Where `move` takes the caret from `caret`; a page is `pageRows` rows.
    qint64 moved(qint64 caret, Move move, qint64 pageRows) const;

    // The start of the word that ends at `position` (itself when none
    // does), and the end of the word that starts there.
    qint64 wordStart(qint64 position) const;
    qint64 wordEnd(qint64 position) const;
    // The word around `position`, a lone sign being a word of its own.
    std::pair<qint64, qint64> wordAt(qint64 position) const;

private:
    // The position in row `row` at the cell column `column` of its own.
    qint64 sameColumnIn(qint64 row, qint64 column) const;
    bool isWordCharacterAt(qint64 position) const;

    const LogStore &m_store;
    const LogRows &m_rows;
};
