// SPDX-License-Identifier: MIT
#include "logstore.h"

#include "logarena.h"
#include "payload.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

namespace {

// U+FFFD as stored: a byte UTF-8 never uses. Random input decodes to a
// replacement character in every other byte or so; three bytes each would
// double what such a log costs.
constexpr unsigned char kStoredReplacement = 0xFF;
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

// The UTF-8 an append makes is written to the arena this much at a time:
// each write is a system call once the log is on disk.
constexpr int kFlushAt = 32 * 1024;

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029;
}

int encodeUtf8(char32_t c, char *out)
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (c >> 18));
    out[1] = char(0x80 | ((c >> 12) & 0x3F));
    out[2] = char(0x80 | ((c >> 6) & 0x3F));
    out[3] = char(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

int LogStore::cellWidth(char32_t c)
{
    if (c < 0x1100 || c == QChar::ReplacementCharacter)
        return 1;
    // The wide and full-width ranges of East Asian scripts, and the emoji
    // and symbols that fonts draw that wide.
    static constexpr struct
    {
        char32_t first, last;
    } wide[] = {
        {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
        {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
        {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
        {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
        {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
        {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
        {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
        {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
        {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
        {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
        {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251},
        {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF},
        {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    const auto *end = std::end(wide);
    const auto *it = std::upper_bound(std::begin(wide), end, c, [](char32_t v, const auto &r) { return v < r.first; });
    return it != std::begin(wide) && c <= (it - 1)->last ? 2 : 1;
}

LogStore::LogStore() : m_arena(std::make_unique<LogArena>())
{
    clear();
    // Finding a line then takes no memory (a log at the end of it must
    // still be readable).
    for (BlockLines &read : m_read) {
        read.starts.reserve(kBlockLines + 1);
        read.cells.reserve(kBlockLines + 1);
    }
}

LogStore::~LogStore() = default;

void LogStore::clear()
{
    m_arena->clear();
    // Given back to the system, not kept for the next log.
    std::vector<Piece>().swap(m_pieces);
    std::deque<Mark>().swap(m_marks);
    std::deque<Block>().swap(m_blocks);
    m_blocks.push_back(Block{0, 0, 0, 0});
    m_lineCount = 1;
    m_size = 0;
    ++m_clears;
    for (BlockLines &read : m_read)
        read.block = -1;
}

LogStore::Piece &LogStore::openPiece(quint32 colour, bool listing)
{
    if (!m_pieces.empty()) {
        Piece &last = m_pieces.back();
        if (last.colour == colour && last.listing == listing)
            return last;
    }
    m_pieces.push_back(Piece{m_arena->size(), 0, m_size, 0, qint64(m_blocks.back().lastCells >> 1),
                             qint64(m_marks.size()), 0, 0, colour, listing});
    return m_pieces.back();
}

void LogStore::addMark(Piece &piece, const Mark &mark)
{
    try {
        m_marks.push_back(mark);
        ++piece.markCount;
    } catch (const std::bad_alloc &) {
        // A mark only saves reading: the piece is read from the one before.
    }
}

void LogStore::makeRoom(qint64 bytes)
{
    // Only a few words may take the spare chunk: those that tell of this.
    if (!m_arena->reserve(bytes, bytes <= kLastWords))
        throw std::bad_alloc();
    // Doubling as push_back would, so that reserving never costs a copy
    // an append.
    const auto roomFor = [](auto &vector, size_t more) {
        const size_t needed = vector.size() + more;
        if (vector.capacity() < needed)
            vector.reserve(std::max(needed, vector.capacity() * 2));
    };
    roomFor(m_pieces, 1);
}

void LogStore::append(quint32 colour, QStringView text)
{
    if (text.isEmpty())
        return;
    // A UTF-16 unit takes three bytes at most (a pair four for two).
    makeRoom(qint64(text.size()) * 3);
    Piece &piece = openPiece(colour, false);
    // The line's cells, the marks' next place and the UTF-8 being made are
    // kept here and written back at the end: this loop is what a flood of
    // text costs.
    Block *block = &m_blocks.back();
    qint64 cells = block->lastCells >> 1;
    bool lastWide = block->lastCells & 1;
    const auto storeCells = [&] {
        block->lastCells = packCells(cells, lastWide);
        block->widest = std::max(block->widest, quint32(std::min(cells, kMostCells)));
    };
    qint64 nextMark = (piece.markCount ? m_marks[size_t(piece.firstMark + piece.markCount - 1)].byte : 0) + kMarkEvery;
    char buffer[kFlushAt + 8];
    int filled = 0;
    const auto flushBuffer = [&] {
        m_arena->append(buffer, filled);
        piece.bytes += filled;
        filled = 0;
    };
    const qsizetype n = text.size();
    const char16_t *units = reinterpret_cast<const char16_t *>(text.data());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 stored = piece.bytes + filled;
        if (stored >= nextMark) {
            addMark(piece, Mark{stored, piece.chars, cells});
            nextMark = stored + kMarkEvery;
        }
        char32_t c = units[i];
        if (isLineBreak(char16_t(c))) {
            if (c == u'\r' && i + 1 < n && units[i + 1] == u'\n')
                ++i;
            buffer[filled++] = '\n';
            ++piece.chars;
            ++m_size;
            storeCells();
            ++m_lineCount;
            cells = 0;
            lastWide = false;
            if (m_lineCount - 1 - block->firstLine >= kBlockLines || m_size - block->start >= kBlockChars) {
                try {
                    m_blocks.push_back(Block{m_lineCount - 1, m_size, 0, 0});
                    block = &m_blocks.back();
                } catch (const std::bad_alloc &) {
                    // The block grows on: slower to read, never wrong.
                }
            }
        } else if (c < 0x80) {
            buffer[filled++] = char(c);
            ++cells;
            lastWide = false;
            ++piece.chars;
            ++m_size;
        } else {
            int count = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
                c = QChar::surrogateToUcs4(char16_t(c), units[i + 1]);
                count = 2;
                ++i;
            } else if (QChar::isSurrogate(c)) {
                c = QChar::ReplacementCharacter; // a lone half reads as one broken character
            }
            const int width = cellWidth(c);
            cells += width;
            lastWide = width == 2;
            piece.chars += count;
            m_size += count;
            if (c == QChar::ReplacementCharacter) {
                buffer[filled++] = char(kStoredReplacement);
                ++piece.replacements;
            } else {
                filled += encodeUtf8(c, buffer + filled);
            }
        }
        if (filled >= kFlushAt)
            flushBuffer();
    }
    flushBuffer();
    storeCells();
}

KeptPlace LogStore::appendListing(quint32 colour, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return KeptPlace();
    makeRoom(bytes.size());
    Piece &piece = openPiece(colour, true);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    Block &block = m_blocks.back();
    qint64 cells = block.lastCells >> 1;
    qint64 lastMark = piece.markCount ? m_marks[size_t(piece.firstMark + piece.markCount - 1)].byte : 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (piece.bytes + i - lastMark >= kMarkEvery) {
            lastMark = piece.bytes + i;
            addMark(piece, Mark{lastMark, piece.chars, cells});
        }
        const int chars = listedLength(data[i]);
        piece.chars += chars;
        cells += chars;
    }
    m_size += cells - (block.lastCells >> 1);
    block.lastCells = packCells(cells, false);
    block.widest = std::max(block.widest, quint32(std::min(cells, kMostCells)));
    block.listing = true;
    const KeptPlace place{m_clears, m_arena->size()};
    m_arena->append(bytes.constData(), bytes.size());
    piece.bytes += bytes.size();
    return place;
}

bool LogStore::readKept(KeptPlace place, qint64 n, const KeptSink &sink) const
{
    if (place.emptied != m_clears || place.at < 0 || n < 0 || place.at + n > m_arena->size())
        return false;
    bool more = true;
    m_arena->spans(place.at, n, [&](const char *bytes, qint64 take) {
        if (more)
            more = sink(bytes, take);
    });
    return more;
}

qint64 LogStore::lastBlockWith(qint64 Block::*field, qint64 value) const
{
    // Mostly the end is asked about: a log being followed as it grows.
    if (value >= m_blocks.back().*field)
        return blockCount() - 1;
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), value,
                                     [field](qint64 v, const Block &b) { return v < b.*field; });
    return std::max<qint64>(0, qint64(it - m_blocks.begin()) - 1);
}

const LogStore::BlockLines &LogStore::linesOf(qint64 b) const
{
    const qint64 lines = blockLines(b);
    for (BlockLines &read : m_read) {
        if (read.block != b)
            continue;
        if (read.closed || read.size == m_size)
            return read;
        if (qint64(read.starts.size()) == lines) {
            // Only its last line has grown since.
            read.cells.back() = m_blocks[size_t(b)].lastCells;
            read.size = m_size;
            read.closed = b + 1 < blockCount();
            return read;
        }
    }
    BlockLines &read = m_read[m_nextRead];
    m_nextRead = (m_nextRead + 1) % int(std::size(m_read));
    read.block = -1; // until it is whole
    const Block &block = m_blocks[size_t(b)];
    read.starts.assign(1, block.start);
    read.cells.clear();
    // Every break but the one after the last line, which ends the block:
    // the text read stops where that line starts, however long it is.
    qint64 cells = 0;
    bool lastWide = false;
    for (qint64 p = std::max<qint64>(0, pieceAt(block.start)); qint64(read.starts.size()) < lines && p < qint64(m_pieces.size());
         ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        const qint64 from = std::max<qint64>(0, block.start - piece.start);
        if (piece.listing) {
            // No break in it, and a cell a character: passed over unread.
            cells += piece.chars - from;
            lastWide = false;
            continue;
        }
        walk(piece, markBefore(piece, from), [&](const char16_t *, int, int width, qint64 chr, qint64) {
            if (chr < from)
                return true;
            if (width == 0) {
                read.cells.push_back(packCells(cells, lastWide));
                read.starts.push_back(piece.start + chr + 1);
                cells = 0;
                lastWide = false;
                return qint64(read.starts.size()) < lines;
            }
            cells += width;
            lastWide = width == 2;
            return true;
        });
    }
    read.cells.push_back(block.lastCells);
    read.block = b;
    read.size = m_size;
    read.closed = b + 1 < blockCount();
    return read;
}

qint64 LogStore::lineStart(qint64 line) const
{
    const qint64 b = blockOf(line);
    const qint64 first = blockFirstLine(b);
    return line == first ? m_blocks[size_t(b)].start : linesOf(b).starts[size_t(line - first)];
}

quint32 LogStore::packedCells(qint64 line) const
{
    const qint64 b = blockOf(line);
    const qint64 k = line - blockFirstLine(b);
    return k + 1 == blockLines(b) ? m_blocks[size_t(b)].lastCells : linesOf(b).cells[size_t(k)];
}

qint64 LogStore::lineLength(qint64 line) const
{
    const qint64 end = line + 1 < lineCount() ? lineStart(line + 1) - 1 : m_size;
    return end - lineStart(line);
}

qint64 LogStore::lineLastCell(qint64 line) const
{
    const quint32 packed = packedCells(line);
    if (packed == 0)
        return -1;
    return (packed >> 1) - ((packed & 1) ? 2 : 1);
}

qint64 LogStore::lineAt(qint64 position) const
{
    const qint64 b = blockAt(position);
    if (blockLines(b) == 1)
        return blockFirstLine(b);
    const std::vector<qint64> &starts = linesOf(b).starts;
    const auto it = std::upper_bound(starts.begin(), starts.end(), position);
    return blockFirstLine(b) + std::max<qint64>(0, qint64(it - starts.begin()) - 1);
}

qint64 LogStore::pieceAt(qint64 position) const
{
    const auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), position,
                                     [](qint64 p, const Piece &x) { return p < x.start; });
    return it == m_pieces.begin() ? -1 : qint64(it - m_pieces.begin()) - 1;
}

LogStore::Mark LogStore::markBefore(const Piece &piece, qint64 chr) const
{
    const auto first = m_marks.begin() + piece.firstMark;
    const auto last = first + piece.markCount;
    const auto it = std::upper_bound(first, last, chr, [](qint64 v, const Mark &m) { return v < m.chr; });
    return it == first ? Mark{0, 0, piece.cellStart} : *(it - 1);
}

LogStore::Mark LogStore::markBeforeCell(const Piece &piece, qint64 lineChr, qint64 lineEndChr, qint64 cell) const
{
    // The marks that fall in the line go by cell (they rise along it);
    // before the first of them the line's start is reached from the mark
    // before it.
    const auto first = m_marks.begin() + piece.firstMark;
    const auto last = first + piece.markCount;
    const auto byChr = [](const Mark &m, qint64 v) { return m.chr < v; };
    const auto inLine = std::lower_bound(first, last, lineChr, byChr);
    const auto lineEnd = std::lower_bound(inLine, last, lineEndChr, byChr);
    const auto it = std::upper_bound(inLine, lineEnd, cell, [](qint64 v, const Mark &m) { return v < m.cell; });
    if (it != inLine)
        return *(it - 1);
    return lineChr <= 0 ? Mark{0, 0, piece.cellStart} : markBefore(piece, lineChr);
}

template<typename Visit>
void LogStore::walk(const Piece &piece, Mark from, Visit visit) const
{
    qint64 chr = from.chr;
    qint64 cell = from.cell;
    const qint64 end = piece.data + piece.bytes;
    if (piece.listing) {
        char token[kMostListed];
        for (qint64 b = piece.data + from.byte; b < end; ++b) {
            const int n = listByte(m_arena->at(b), token);
            for (int k = 0; k < n; ++k, ++chr, ++cell) {
                const char16_t unit = char16_t(token[k]);
                if (!visit(&unit, 1, 1, chr, cell))
                    return;
            }
        }
        return;
    }
    for (qint64 b = piece.data + from.byte; b < end;) {
        const unsigned char lead = m_arena->at(b);
        char32_t c;
        int length;
        if (lead < 0x80) {
            c = lead;
            length = 1;
        } else if (lead == kStoredReplacement) {
            c = QChar::ReplacementCharacter;
            length = 1;
        } else if (lead < 0xE0) {
            c = (char32_t(lead & 0x1F) << 6) | (m_arena->at(b + 1) & 0x3F);
            length = 2;
        } else if (lead < 0xF0) {
            c = (char32_t(lead & 0x0F) << 12) | (char32_t(m_arena->at(b + 1) & 0x3F) << 6) | (m_arena->at(b + 2) & 0x3F);
            length = 3;
        } else {
            c = (char32_t(lead & 0x07) << 18) | (char32_t(m_arena->at(b + 1) & 0x3F) << 12)
                | (char32_t(m_arena->at(b + 2) & 0x3F) << 6) | (m_arena->at(b + 3) & 0x3F);
            length = 4;
        }
        b += length;
        if (c == U'\n') {
            const char16_t unit = u'\n';
            if (!visit(&unit, 1, 0, chr, cell))
                return;
            ++chr;
            cell = 0;
            continue;
        }
        char16_t units[2];
        int count = 1;
        if (c >= 0x10000) {
            units[0] = QChar::highSurrogate(c);
            units[1] = QChar::lowSurrogate(c);
            count = 2;
        } else {
            units[0] = char16_t(c);
        }
        const int width = cellWidth(c);
        if (!visit(units, count, width, chr, cell))
            return;
        chr += count;
        cell += width;
    }
}

qint64 LogStore::byteAt(const Piece &piece, qint64 chr) const
{
    const auto first = m_marks.begin() + piece.firstMark;
    const auto last = first + piece.markCount;
    const auto next = std::upper_bound(first, last, chr, [](qint64 v, const Mark &m) { return v < m.chr; });
    const Mark m = next == first ? Mark{0, 0, piece.cellStart} : *(next - 1);
    // Between two marks with as many bytes as characters every character
    // is one byte (any other takes more bytes than characters): no need to
    // read them.
    const qint64 spanBytes = (next == last ? piece.bytes : next->byte) - m.byte;
    const qint64 spanChars = (next == last ? piece.chars : next->chr) - m.chr;
    if (spanBytes == spanChars)
        return m.byte + (chr - m.chr);
    qint64 b = m.byte;
    for (qint64 c = m.chr; c < chr;) {
        const unsigned char lead = m_arena->at(piece.data + b);
        const int length = lead < 0x80 || lead == kStoredReplacement ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        c += length == 4 ? 2 : 1;
        b += length;
    }
    return b;
}

template<typename Span>
void LogStore::spans(qint64 from, qint64 to, Span span) const
{
    for (qint64 p = std::max<qint64>(0, pieceAt(from)); p < qint64(m_pieces.size()); ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        if (piece.start >= to)
            break;
        const qint64 a = std::max(from, piece.start);
        const qint64 b = std::min(to, piece.start + piece.chars);
        if (b > a)
            span(piece, a, b);
    }
}

QString LogStore::text(qint64 from, qint64 to) const
{
    QString out;
    from = std::clamp<qint64>(from, 0, m_size);
    to = std::clamp<qint64>(to, from, m_size);
    if (to > from)
        out.reserve(qsizetype(to - from));
    spans(from, to, [&](const Piece &piece, qint64 a, qint64 b) {
        if (!piece.listing) {
            // The stored UTF-8 of [a, b), decoded in one go (a sequence cut
            // by a chunk's end is carried over; a leading U+FEFF is text).
            const qint64 first = byteAt(piece, a - piece.start);
            const qint64 last = byteAt(piece, b - piece.start);
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            m_arena->spans(piece.data + first, last - first,
                           [&](const char *bytes, qint64 n) { out += decoder.decode(QByteArrayView(bytes, n)); });
            return;
        }
        // A listing: from the byte whose token holds `a`, each token at
        // once, the first and last cut to [a, b).
        const Mark m = markBefore(piece, a - piece.start);
        qint64 byte = m.byte, chr = piece.start + m.chr;
        while (chr + listedLength(m_arena->at(piece.data + byte)) <= a)
            chr += listedLength(m_arena->at(piece.data + byte++));
        m_arena->noteRead(piece.data + byte, (b - chr) / 3 + 1); // a listed byte takes three or four
        const qsizetype base = out.size();
        out.resize(base + qsizetype(b - a));
        QChar *to = out.data() + base;
        char token[kMostListed];
        for (; chr < b; ++byte) {
            const int n = listByte(m_arena->at(piece.data + byte), token);
            for (int k = 0; k < n; ++k, ++chr)
                if (chr >= a && chr < b)
                    *to++ = QLatin1Char(token[k]);
        }
    });
    return out;
}

void LogStore::writeUtf8(qint64 from, qint64 to, const std::function<void(const char *, qint64)> &sink) const
{
    from = std::clamp<qint64>(from, 0, m_size);
    to = std::clamp<qint64>(to, from, m_size);
    constexpr qint64 kBuffer = 1 << 16;
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    qint64 used = 0;
    const auto flush = [&] {
        if (used > 0)
            sink(buffer.get(), used);
        used = 0;
    };
    // Room for one more character (or listed byte).
    const auto room = [&] {
        if (used > kBuffer - 8)
            flush();
        return buffer.get() + used;
    };
    spans(from, to, [&](const Piece &piece, qint64 a, qint64 b) {
        const bool whole = a == piece.start && b == piece.start + piece.chars;
        if (!piece.listing) {
            // The stored bytes are the text.
            const qint64 first = whole ? 0 : byteAt(piece, a - piece.start);
            const qint64 last = whole ? piece.bytes : byteAt(piece, b - piece.start);
            // The stored bytes are the text, but for U+FFFD.
            m_arena->spans(piece.data + first, last - first, [&](const char *bytes, qint64 n) {
                if (piece.replacements == 0 || !std::memchr(bytes, kStoredReplacement, size_t(n))) {
                    flush();
                    sink(bytes, n);
                    return;
                }
                for (qint64 i = 0; i < n; ++i) {
                    char *to = room();
                    if (static_cast<unsigned char>(bytes[i]) == kStoredReplacement) {
                        std::memcpy(to, kReplacementUtf8, 3);
                        used += 3;
                    } else {
                        *to = bytes[i];
                        ++used;
                    }
                }
            });
            return;
        }
        if (whole) {
            m_arena->spans(piece.data, piece.bytes, [&](const char *bytes, qint64 n) {
                for (qint64 i = 0; i < n; ++i)
                    used += listByte(static_cast<unsigned char>(bytes[i]), room());
            });
            return;
        }
        walk(piece, markBefore(piece, a - piece.start), [&](const char16_t *units, int count, int, qint64 chr, qint64) {
            const qint64 at = piece.start + chr;
            if (at >= b)
                return false;
            if (at >= a) {
                const char32_t c = count == 2 ? QChar::surrogateToUcs4(units[0], units[1]) : units[0];
                used += encodeUtf8(c, room());
            }
            return true;
        });
    });
    flush();
}

qint64 LogStore::utf8Size(qint64 from, qint64 to) const
{
    from = std::clamp<qint64>(from, 0, m_size);
    to = std::clamp<qint64>(to, from, m_size);
    qint64 size = 0;
    spans(from, to, [&](const Piece &piece, qint64 a, qint64 b) {
        // A listing is ASCII, a character a byte; a stored U+FFFD writes
        // as three.
        if (piece.listing) {
            size += b - a;
            return;
        }
        if (a == piece.start && b == piece.start + piece.chars) {
            size += piece.bytes + 2 * piece.replacements;
            return;
        }
        const qint64 first = byteAt(piece, a - piece.start);
        const qint64 last = byteAt(piece, b - piece.start);
        size += last - first;
        if (piece.replacements > 0)
            m_arena->spans(piece.data + first, last - first, [&](const char *bytes, qint64 n) {
                size += 2 * std::count(bytes, bytes + n, char(kStoredReplacement));
            });
    });
    return size;
}

void LogStore::visitCells(qint64 line, qint64 fromCell, qint64 toCell,
                          const std::function<void(quint32, QStringView, qint64, qint64)> &run) const
{
    if (toCell <= fromCell)
        return;
    const qint64 start = lineStart(line);
    const qint64 end = lineEnd(line);
    QString chunk;
    for (qint64 p = std::max<qint64>(0, pieceAt(start)); p < qint64(m_pieces.size()); ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        if (piece.start >= end)
            break;
        if (piece.start >= start && piece.cellStart >= toCell)
            break;
        chunk.clear();
        qint64 firstPosition = -1, firstCell = -1;
        walk(piece, markBeforeCell(piece, start - piece.start, end - piece.start, fromCell),
             [&](const char16_t *units, int count, int, qint64 chr, qint64 cell) {
                 const qint64 at = piece.start + chr;
                 if (at >= end)
                     return false;
                 if (at < start)
                     return true;
                 if (cell >= toCell)
                     return false;
                 if (cell >= fromCell) {
                     if (firstPosition < 0) {
                         firstPosition = at;
                         firstCell = cell;
                     }
                     chunk.append(reinterpret_cast<const QChar *>(units), count);
                 }
                 return true;
             });
        if (!chunk.isEmpty())
            run(piece.colour, chunk, firstPosition, firstCell);
    }
}

qint64 LogStore::positionAtCell(qint64 line, qint64 cell) const
{
    const qint64 start = lineStart(line);
    const qint64 end = lineEnd(line);
    if (cell <= 0)
        return start;
    for (qint64 p = std::max<qint64>(0, pieceAt(start)); p < qint64(m_pieces.size()); ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        if (piece.start >= end)
            break;
        qint64 found = -1;
        walk(piece, markBeforeCell(piece, start - piece.start, end - piece.start, cell), [&](const char16_t *, int, int, qint64 chr, qint64 c) {
            const qint64 at = piece.start + chr;
            if (at >= end)
                return false;
            if (at >= start && c >= cell) {
                found = at;
                return false;
            }
            return true;
        });
        if (found >= 0)
            return found;
    }
    return end;
}

qint64 LogStore::cellAt(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, m_size);
    const qint64 line = lineAt(position);
    if (position >= lineEnd(line))
        return lineCells(line);
    const qint64 p = pieceAt(position);
    if (p < 0)
        return 0;
    const Piece &piece = m_pieces[size_t(p)];
    qint64 found = 0;
    walk(piece, markBefore(piece, position - piece.start), [&](const char16_t *, int count, int, qint64 chr, qint64 c) {
        if (piece.start + chr + count > position) {
            found = c;
            return false;
        }
        return true;
    });
    return found;
}

quint32 LogStore::colourAt(qint64 position, qint64 *from, qint64 *to) const
{
    const auto stretch = [&](qint64 a, qint64 b) {
        if (from)
            *from = a;
        if (to)
            *to = b;
    };
    const qint64 line = lineAt(position);
    if (position < 0 || position >= m_size || position >= lineEnd(line)) {
        stretch(position, position + (position >= 0 && position < m_size ? 1 : 0));
        return 0; // past the end, or a line break
    }
    const Piece &piece = m_pieces[size_t(pieceAt(position))];
    stretch(std::max(piece.start, lineStart(line)), std::min(piece.start + piece.chars, lineEnd(line)));
    return piece.colour;
}

bool LogStore::runAround(qint64 position, qint64 *from, qint64 *to) const
{
    const qint64 p = pieceAt(std::clamp<qint64>(position, 0, std::max<qint64>(0, m_size - 1)));
    if (p < 0 || position >= m_size) {
        *from = *to = m_size;
        return false;
    }
    const Piece &piece = m_pieces[size_t(p)];
    *from = piece.start;
    *to = piece.start + piece.chars;
    return piece.listing;
}

void LogStore::visitListings(qint64 from, qint64 to,
                             const std::function<void(qint64, qint64, qint64, quint32)> &visit) const
{
    spans(from, to, [&](const Piece &piece, qint64, qint64) {
        if (piece.listing)
            visit(piece.start, piece.start + piece.chars, piece.bytes, piece.colour);
    });
}

QString LogStore::notice()
{
    return m_arena->notice();
}

qint64 LogStore::bytesUsed() const
{
    return m_arena->reserved() + qint64(m_pieces.capacity() * sizeof(Piece)) + qint64(m_blocks.size() * sizeof(Block))
        + qint64(m_marks.size() * sizeof(Mark));
}
