// SPDX-License-Identifier: MIT
#pragma once

#include "logdump.h"

#include <QString>

#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

class LogStore;

// The rows a log's lines take on a fixed-pitch grid of so many cells a row,
// a wide (CJK) character taking two. A line of ordinary length wraps after a
// space where it can; a longer one (a big listing or a flood of text) is cut
// every so many cells, so that its rows follow from its length alone and
// showing any part of it costs what that part costs.
//
// Rows are counted from the top of the log. The index is kept in step with
// the store by the one who appends (linesChanged) and clears (clear).
class LogRows
{
public:
    // One row as drawn.
    struct Row
    {
        qint64 line;
        qint64 first; // position of its first character
        qint64 end;   // position after its last
        QString text; // as drawn: control characters as their pictures
        std::vector<std::pair<int, quint32>> colours; // (length, colour) runs
        // A row of a listing's dump: the offset of its first byte in the
        // listing (-1: not such a row), and where the token of each of its
        // bytes starts in the log, then where the last ends.
        qint64 dumpOffset = -1;
        std::vector<qint64> tokens;
        // Of a dump row: the byte whose token holds `position` (its bytes'
        // count at or past its end).
        qint64 dumpByteAt(qint64 position) const;
    };

    explicit LogRows(const LogStore &store);

    // Lays every line out again when the width changes; false when it
    // stays as it was.
    bool setColumns(qint64 columns);
    qint64 columns() const { return m_columns; }
    // Listings shown as a dump (LogDump): each on rows of its own, sixteen
    // bytes a row; the rest as ever. False when it stays as it was.
    bool setDump(bool on);
    bool dump() const { return m_dump; }

    // The lines from `line` on have changed (text was appended there).
    void linesChanged(qint64 line);
    // The store was emptied.
    void clear();

    qint64 count() const { return m_rowCount; }
    // The row that holds `position`; the first row of a line, its rows, and
    // the line of a row.
    qint64 rowOf(qint64 position) const;
    qint64 firstRowOf(qint64 line) const;
    qint64 rowsIn(qint64 line) const;
    qint64 lineOf(qint64 row) const;
    // The cell row `k` of `line` starts at.
    qint64 startCell(qint64 line, qint64 k) const;

    Row row(qint64 index) const;

private:
    // In the dump view a line with a listing is laid out in parts: its
    // text between listings, wrapped as any text, and each listing, on rows
    // of its own.
    struct Part
    {
        qint64 from, to;     // positions
        qint64 firstRow;     // within the line
        qint64 rows;
        qint64 fromCell, toCell;
        quint32 colour;      // a listing's
        bool listing;
        std::vector<qint64> starts; // a text's row start cells, from fromCell; none: cut every row
        qint64 startCell(qint64 k, qint64 columns) const;
    };
    // The parts of `line`, with the text's row starts when `withStarts`;
    // or of the line at [start, end), its listings [listing, listingsEnd).
    std::vector<Part> partsOf(qint64 line, bool withStarts) const;
    std::vector<Part> partsOf(qint64 line, qint64 start, qint64 end, bool withStarts, const LogDump::Listing *listing,
                              const LogDump::Listing *listingsEnd) const;
    // The same, kept for the lines recently drawn; empty for a line the
    // dump does not change.
    const std::vector<Part> &dumpLayout(qint64 line) const;
    const Part &partOfRow(const std::vector<Part> &parts, qint64 k) const;
    static bool hasListing(const std::vector<Part> &parts);
    static qint64 rowsOfParts(const std::vector<Part> &parts) { return parts.back().firstRow + parts.back().rows; }
    Row textRow(qint64 line, qint64 fromCell, qint64 toCell) const;
    Row dumpRow(qint64 line, const Part &part, qint64 k) const;
    qint64 plainRowsIn(qint64 line) const;
    // Every line laid out again (the width or the dump changed).
    void layOutAgain();
    qint64 rowOfCell(qint64 line, qint64 cell) const;
    // Where the rows of a line of ordinary length start (cells), broken
    // after a space where one is near.
    const std::vector<qint64> &wrapTable(qint64 line) const;
    bool wrapsAtWords(qint64 line) const;
    // The rows of the store's line block `block`; a block whose lines all
    // fit the width takes a row a line, without reading any of them.
    qint64 rowsOfBlock(qint64 block) const;
    bool blockFits(qint64 block) const;
    // Of a block whose lines do not all fit: the first row of each of its
    // lines, from the block's first, and its rows at the end.
    const std::vector<qint64> &rowsWithin(qint64 block) const;

    // The longest line that wraps at words.
    static constexpr qint64 kWordWrapLimit = 8192;

    const LogStore &m_store;
    qint64 m_columns = 80;
    bool m_dump = false;
    // dumpLayout() of recently drawn lines.
    mutable std::unordered_map<qint64, std::vector<Part>> m_partsCache;
    // The word-wrapped rows of recently drawn lines (line -> row start cells).
    mutable std::unordered_map<qint64, std::vector<qint64>> m_wrapCache;
    // rowsWithin() of recently used blocks.
    mutable std::unordered_map<qint64, std::vector<qint64>> m_blockCache;
    // The first row of each of the store's line blocks (nothing a line);
    // in blocks of its own, so that growing never copies it whole.
    std::deque<qint64> m_blockRow{0};
    qint64 m_rowCount = 1;
};
