// SPDX-License-Identifier: MIT
#include "logrows.h"

#include "logdump.h"
#include "logstore.h"
#include "logtext.h"
#include "payload.h"

#include <algorithm>
#include <limits>

namespace {

// Where the rows of a line of text start (cells), at `columns` cells a row:
// after the last space of a row where it has one, else where the row is
// full. Spaces stay at the end of their row, as in any text box, so a row
// starts with what follows them. Returns the row count; fills `starts`
// when given.
qint64 wrapRows(QStringView text, qint64 columns, std::vector<qint64> *starts)
{
    if (starts)
        starts->assign(1, 0);
    // Most text is of characters one cell wide (below U+1100): a character
    // is a cell, and only a space or the first other character past a
    // row's end changes anything, so the rows go from one to the next.
    if (columns >= 1 && std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x1100; })) {
        qint64 rows = 1;
        qsizetype rowStart = 0, next = 0;
        // The first space at or after rowStart (the text's end for none):
        // a row without one is cut without being read back.
        qsizetype space = -1;
        const auto newRow = [&](qsizetype at) {
            rowStart = at;
            ++rows;
            if (starts)
                starts->push_back(at);
        };
        for (;;) {
            // The first character past the row's end that is not a space:
            // spaces stay at the end of their row.
            qsizetype at = std::max<qsizetype>(next, rowStart + qsizetype(columns));
            while (at < text.size() && text[at] == u' ')
                ++at;
            if (at >= text.size())
                return rows;
            // After the row's last space, else here (a word longer than a
            // row is cut). One cell a character, the next row then holds
            // this one.
            if (space < rowStart) {
                space = text.indexOf(u' ', rowStart);
                if (space < 0)
                    space = text.size();
            }
            const qsizetype last = space < at ? text.mid(rowStart, at - rowStart).lastIndexOf(u' ') : -1;
            newRow(last >= 0 ? rowStart + last + 1 : at);
            next = at + 1;
        }
    }
    qint64 rows = 1;
    qint64 cell = 0;
    qint64 rowStart = 0;
    qint64 afterSpace = -1; // the cell after the last space of this row
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c == u' ') {
            afterSpace = ++cell;
            continue;
        }
        const int width = c < 0x1100 ? 1 : LogStore::cellWidth(c);
        while (cell + width - rowStart > columns && cell > rowStart) {
            rowStart = afterSpace > rowStart ? afterSpace : cell;
            ++rows;
            if (starts)
                starts->push_back(rowStart);
            afterSpace = -1;
        }
        cell += width;
    }
    return rows;
}

} // namespace

LogRows::LogRows(const LogStore &store) : m_store(store)
{
}

bool LogRows::wrapsAtWords(qint64 line) const
{
    return m_store.lineLength(line) <= kWordWrapLimit;
}

bool LogRows::setColumns(qint64 columns)
{
    if (columns == m_columns)
        return false;
    m_columns = columns;
    layOutAgain();
    return true;
}

bool LogRows::setDump(bool on)
{
    if (on == m_dump)
        return false;
    m_dump = on;
    layOutAgain();
    return true;
}

void LogRows::layOutAgain()
{
    m_wrapCache.clear();
    m_blockCache.clear();
    m_partsCache.clear();
    linesChanged(0);
}

void LogRows::clear()
{
    m_wrapCache.clear();
    m_blockCache.clear();
    m_partsCache.clear();
    std::deque<qint64>{0}.swap(m_blockRow);
    m_rowCount = 1;
}

qint64 LogRows::rowsIn(qint64 line) const
{
    const std::vector<Part> &parts = dumpLayout(line);
    return parts.empty() ? plainRowsIn(line) : rowsOfParts(parts);
}

qint64 LogRows::plainRowsIn(qint64 line) const
{
    if (wrapsAtWords(line)) {
        // Counted without keeping the table: a flood of short lines would
        // only churn the cache of the lines on screen.
        if (m_store.lineCells(line) <= m_columns)
            return 1;
        const auto found = m_wrapCache.find(line);
        if (found != m_wrapCache.end() && line + 1 < m_store.lineCount())
            return qint64(found->second.size());
        return wrapRows(m_store.text(m_store.lineStart(line), m_store.lineStart(line) + m_store.lineLength(line)),
                        m_columns, nullptr);
    }
    const qint64 last = m_store.lineLastCell(line);
    return last < 0 ? 1 : last / m_columns + 1;
}

qint64 LogRows::startCell(qint64 line, qint64 k) const
{
    if (const std::vector<Part> &parts = dumpLayout(line); !parts.empty()) {
        const Part &part = partOfRow(parts, k);
        const qint64 j = std::clamp<qint64>(k - part.firstRow, 0, part.rows - 1);
        return part.listing ? m_store.cellAt(m_store.listingToken(part.from, j * LogDump::kRowBytes))
                            : part.fromCell + part.startCell(j, m_columns);
    }
    if (wrapsAtWords(line)) {
        const std::vector<qint64> &table = wrapTable(line);
        return k < qint64(table.size()) ? table[size_t(k)] : m_store.lineCells(line);
    }
    return k * m_columns;
}

qint64 LogRows::rowOfCell(qint64 line, qint64 cell) const
{
    if (wrapsAtWords(line)) {
        const std::vector<qint64> &table = wrapTable(line);
        return std::max<qint64>(0, std::upper_bound(table.begin(), table.end(), cell) - table.begin() - 1);
    }
    return std::min(cell / m_columns, rowsIn(line) - 1);
}

const std::vector<qint64> &LogRows::wrapTable(qint64 line) const
{
    // The last line keeps growing: its rows are worked out afresh.
    const bool last = line + 1 == m_store.lineCount();
    auto found = m_wrapCache.find(line);
    if (found != m_wrapCache.end() && !last)
        return found->second;
    if (m_wrapCache.size() > 256)
        m_wrapCache.clear();
    std::vector<qint64> &starts = m_wrapCache[line];
    wrapRows(m_store.text(m_store.lineStart(line), m_store.lineStart(line) + m_store.lineLength(line)), m_columns, &starts);
    return starts;
}

bool LogRows::blockFits(qint64 block) const
{
    return m_store.blockWidest(block) <= m_columns && !(m_dump && m_store.blockHasListing(block));
}

const std::vector<qint64> &LogRows::rowsWithin(qint64 block) const
{
    const auto found = m_blockCache.find(block);
    if (found != m_blockCache.end())
        return found->second;
    if (m_blockCache.size() > 64)
        m_blockCache.clear();
    const qint64 first = m_store.blockFirstLine(block);
    const qint64 last = first + m_store.blockLines(block) - 1;
    std::vector<qint64> rows(size_t(last - first + 2), 0);
    if (m_dump && m_store.blockHasListing(block)) {
        // The block's listings are found at once, and their rows known from
        // their sizes; of a line's text only what is longer than a row is
        // read.
        std::vector<LogDump::Listing> listings;
        const qint64 blockEnd = last + 1 < m_store.lineCount() ? m_store.lineStart(last + 1) - 1 : m_store.size();
        qint64 lineStart = m_store.lineStart(first);
        m_store.visitListings(lineStart, blockEnd, [&](qint64 from, qint64 to, qint64 bytes, quint32 colour) {
            listings.push_back(LogDump::Listing{from, to, bytes, colour});
        });
        auto next = listings.cbegin();
        for (qint64 k = 0; k <= last - first; ++k) {
            const qint64 line = first + k;
            const qint64 nextStart = line < last ? m_store.lineStart(line + 1) : blockEnd + 1;
            const auto mine = next;
            while (next != listings.cend() && next->start < nextStart - 1)
                ++next;
            rows[size_t(k + 1)] = rows[size_t(k)]
                + (mine == next ? plainRowsIn(line)
                                : rowsOfParts(partsOf(line, lineStart, nextStart - 1, false, &*mine, &*mine + (next - mine))));
            lineStart = nextStart;
        }
        return m_blockCache[block] = std::move(rows);
    }
    // The lines before the last are short together, and the last mostly
    // too: the block is read at once (where it starts and ends the index
    // knows without reading) and cut at its breaks. Only a long block must
    // find where its last line starts, to leave that line out. A line of
    // no more units than half a row's cells fits (a unit takes two cells at
    // most).
    const qint64 start = m_store.lineStart(first);
    const qint64 end = last + 1 < m_store.lineCount() ? m_store.lineStart(last + 1) - 1 : m_store.size();
    const bool lastCut = end - start > LogStore::kBlockChars + kWordWrapLimit && !wrapsAtWords(last);
    const QString text = m_store.text(start, lastCut ? m_store.lineStart(last) : end);
    qsizetype from = 0;
    for (qint64 k = 0; k <= last - first; ++k) {
        qint64 n;
        if (k == last - first && (lastCut || text.size() - from > kWordWrapLimit)) {
            n = rowsIn(last);
        } else {
            qsizetype to = text.indexOf(u'\n', from);
            if (to < 0)
                to = text.size();
            const QStringView line = QStringView(text).mid(from, to - from);
            n = qint64(line.size()) * 2 <= m_columns ? 1
                : line.size() > kWordWrapLimit       ? rowsIn(first + k) // only where a block could not be closed
                                                     : wrapRows(line, m_columns, nullptr);
            from = to + 1;
        }
        rows[size_t(k + 1)] = rows[size_t(k)] + n;
    }
    return m_blockCache[block] = std::move(rows);
}

qint64 LogRows::rowsOfBlock(qint64 block) const
{
    return blockFits(block) ? m_store.blockLines(block) : rowsWithin(block).back();
}

void LogRows::linesChanged(qint64 line)
{
    m_wrapCache.erase(line); // it may have grown since
    for (auto it = m_partsCache.begin(); it != m_partsCache.end();)
        it = it->first >= line ? m_partsCache.erase(it) : std::next(it);
    const qint64 changed = m_store.blockOf(line);
    for (auto it = m_blockCache.begin(); it != m_blockCache.end();)
        it = it->first >= changed ? m_blockCache.erase(it) : std::next(it);
    const qint64 blocks = m_store.blockCount();
    m_blockRow.resize(size_t(blocks));
    for (qint64 b = changed + 1; b < blocks; ++b)
        m_blockRow[size_t(b)] = m_blockRow[size_t(b - 1)] + rowsOfBlock(b - 1);
    m_rowCount = m_blockRow[size_t(blocks - 1)] + rowsOfBlock(blocks - 1);
}

qint64 LogRows::firstRowOf(qint64 line) const
{
    const qint64 block = m_store.blockOf(line);
    const qint64 k = line - m_store.blockFirstLine(block);
    return m_blockRow[size_t(block)] + (blockFits(block) ? k : rowsWithin(block)[size_t(k)]);
}

qint64 LogRows::lineOf(qint64 row) const
{
    const qint64 block = std::max<qint64>(0, std::upper_bound(m_blockRow.begin(), m_blockRow.end(), row) - m_blockRow.begin() - 1);
    const qint64 first = m_store.blockFirstLine(block);
    const qint64 last = first + m_store.blockLines(block) - 1;
    const qint64 within = row - m_blockRow[size_t(block)];
    if (blockFits(block))
        return std::clamp(first + within, first, last);
    const std::vector<qint64> &rows = rowsWithin(block);
    const qint64 k = qint64(std::upper_bound(rows.begin(), rows.end(), within) - rows.begin()) - 1;
    return std::clamp(first + k, first, last);
}

qint64 LogRows::rowOf(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, m_store.size());
    const qint64 line = m_store.lineAt(position);
    const qint64 first = firstRowOf(line);
    if (const std::vector<Part> &parts = dumpLayout(line); !parts.empty()) {
        // The first part that holds it; the line's end is its last part's.
        const auto it = std::upper_bound(parts.begin(), parts.end(), position,
                                         [](qint64 p, const Part &part) { return p < part.to; });
        const Part &part = it == parts.end() ? parts.back() : *it;
        qint64 k;
        if (part.listing) {
            k = std::min(part.rows - 1, m_store.listingByteAt(part.from, position) / LogDump::kRowBytes);
        } else {
            const qint64 cell = m_store.cellAt(position) - part.fromCell;
            k = part.starts.empty()
                ? std::min(cell / m_columns, part.rows - 1)
                : std::max<qint64>(0, std::upper_bound(part.starts.begin(), part.starts.end(), cell) - part.starts.begin() - 1);
        }
        return first + part.firstRow + k;
    }
    return first + rowOfCell(line, m_store.cellAt(position));
}

LogRows::Row LogRows::row(qint64 index) const
{
    index = std::clamp<qint64>(index, 0, count() - 1);
    const qint64 line = lineOf(index);
    const qint64 k = index - firstRowOf(line);
    if (const std::vector<Part> &parts = dumpLayout(line); !parts.empty()) {
        const Part &part = partOfRow(parts, k);
        if (part.listing)
            return dumpRow(line, part, k - part.firstRow);
        const qint64 j = k - part.firstRow;
        // The line's last part takes all that is left of it.
        const bool lastPart = &part == &parts.back();
        return textRow(line, part.fromCell + part.startCell(j, m_columns),
                       j + 1 < part.rows ? part.fromCell + part.startCell(j + 1, m_columns)
                           : lastPart    ? std::numeric_limits<qint64>::max()
                                         : part.toCell);
    }
    return textRow(line, startCell(line, k),
                   k + 1 < rowsIn(line) ? startCell(line, k + 1) : std::numeric_limits<qint64>::max());
}

LogRows::Row LogRows::textRow(qint64 line, qint64 fromCell, qint64 toCell) const
{
    Row r;
    r.line = line;
    r.first = -1;
    m_store.visitCells(line, fromCell, toCell, [&](quint32 colour, QStringView run, qint64 position, qint64) {
        if (r.first < 0)
            r.first = position;
        r.text.append(run);
        r.colours.emplace_back(int(run.size()), colour);
    });
    if (r.first < 0)
        r.first = m_store.positionAtCell(line, fromCell);
    r.end = r.first + r.text.size();
    for (QChar &c : r.text)
        c = QChar(LogText::drawnAs(c.unicode()));
    return r;
}

LogRows::Row LogRows::dumpRow(qint64 line, const Part &part, qint64 j) const
{
    Row r;
    r.line = line;
    r.dumpOffset = j * LogDump::kRowBytes;
    const QByteArray bytes = m_store.listingBytes(part.from, r.dumpOffset, LogDump::kRowBytes);
    r.tokens.resize(size_t(bytes.size()) + 1);
    r.tokens[0] = m_store.listingToken(part.from, r.dumpOffset);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        r.tokens[size_t(i) + 1] = r.tokens[size_t(i)] + listedLength(quint8(bytes[i]));
    r.first = r.tokens.front();
    r.end = r.tokens.back();
    r.text = LogDump::row(r.dumpOffset, bytes);
    r.colours.emplace_back(int(r.text.size()), part.colour);
    return r;
}

qint64 LogRows::Row::dumpByteAt(qint64 position) const
{
    const auto it = std::upper_bound(tokens.begin(), tokens.end(), position);
    return std::clamp<qint64>(qint64(it - tokens.begin()) - 1, 0, qint64(tokens.size()) - 1);
}

qint64 LogRows::Part::startCell(qint64 k, qint64 columns) const
{
    return starts.empty() ? k * columns : starts[size_t(std::min<qint64>(k, qint64(starts.size()) - 1))];
}

std::vector<LogRows::Part> LogRows::partsOf(qint64 line, bool withStarts) const
{
    const qint64 start = m_store.lineStart(line);
    const qint64 end = start + m_store.lineLength(line);
    std::vector<LogDump::Listing> listings;
    m_store.visitListings(start, end, [&](qint64 from, qint64 to, qint64 bytes, quint32 colour) {
        listings.push_back(LogDump::Listing{from, to, bytes, colour});
    });
    return partsOf(line, start, end, withStarts, listings.data(), listings.data() + listings.size());
}

std::vector<LogRows::Part> LogRows::partsOf(qint64 line, qint64 start, qint64 end, bool withStarts,
                                            const LogDump::Listing *listing, const LogDump::Listing *listingsEnd) const
{
    std::vector<Part> parts;
    qint64 at = start, row = 0;
    const auto addText = [&](qint64 a, qint64 b) {
        if (b <= a)
            return;
        Part part{a, b, row, 1, 0, 0, 0, false, {}};
        // A text of no more units than half a row's cells fits (a unit
        // takes two at most): counted without reading it.
        const bool fits = (b - a) * 2 <= m_columns;
        if (withStarts || !fits) {
            part.fromCell = m_store.cellAt(a);
            part.toCell = b == end ? m_store.lineCells(line) : m_store.cellAt(b);
        }
        if (!fits && part.toCell - part.fromCell > m_columns) {
            part.rows = b - a <= kWordWrapLimit ? wrapRows(m_store.text(a, b), m_columns, withStarts ? &part.starts : nullptr)
                                                : (part.toCell - part.fromCell + m_columns - 1) / m_columns;
        } else if (withStarts) {
            part.starts.assign(1, 0);
        }
        row += part.rows;
        parts.push_back(std::move(part));
    };
    for (; listing != listingsEnd; ++listing) {
        addText(at, listing->start);
        parts.push_back(
            Part{listing->start, listing->end, row, LogDump::rowsOf(listing->bytes), 0, 0, listing->colour, true, {}});
        row += parts.back().rows;
        at = listing->end;
    }
    addText(at, end);
    if (parts.empty())
        parts.push_back(Part{start, start, 0, 1, 0, 0, 0, false, {0}});
    return parts;
}

bool LogRows::hasListing(const std::vector<Part> &parts)
{
    return std::any_of(parts.begin(), parts.end(), [](const Part &part) { return part.listing; });
}

const std::vector<LogRows::Part> &LogRows::dumpLayout(qint64 line) const
{
    static const std::vector<Part> none;
    if (!m_dump || !m_store.blockHasListing(m_store.blockOf(line)))
        return none;
    // The last line keeps growing: its parts are worked out afresh.
    const bool last = line + 1 == m_store.lineCount();
    const auto found = m_partsCache.find(line);
    if (found != m_partsCache.end() && !last)
        return found->second;
    if (m_partsCache.size() > 256)
        m_partsCache.clear();
    std::vector<Part> parts = partsOf(line, true);
    if (!hasListing(parts))
        parts.clear();
    return m_partsCache[line] = std::move(parts);
}

const LogRows::Part &LogRows::partOfRow(const std::vector<Part> &parts, qint64 k) const
{
    const auto it = std::upper_bound(parts.begin(), parts.end(), k, [](qint64 v, const Part &part) { return v < part.firstRow; });
    return it == parts.begin() ? parts.front() : *(it - 1);
}
