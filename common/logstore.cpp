#include "logstore.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/mman.h>

// The stored bytes, in chunks that are never moved: growing never copies
// what is there. The chunks are mapped from the system apart from the heap,
// so that the short-lived large strings of a busy log (an entry being
// decoded and formatted) cannot leave holes between them that the heap then
// keeps; a chunk's pages are taken only as they are written.
class LogStore::Arena
{
public:
    static constexpr int kShift = 20;
    static constexpr qint64 kChunk = qint64(1) << kShift;

    Arena() = default;
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    ~Arena() { clear(); }

    void append(const char *bytes, qint64 n)
    {
        while (n > 0) {
            const qint64 at = m_size & (kChunk - 1);
            if (at == 0 && qint64(m_chunks.size()) * kChunk == m_size)
                m_chunks.push_back(mapChunk());
            const qint64 take = std::min(n, kChunk - at);
            std::memcpy(m_chunks.back() + at, bytes, size_t(take));
            bytes += take;
            n -= take;
            m_size += take;
        }
    }
    unsigned char at(qint64 i) const
    {
        return static_cast<unsigned char>(m_chunks[size_t(i >> kShift)][i & (kChunk - 1)]);
    }
    // Hands out [from, from + n) as contiguous spans.
    template<typename Sink>
    void spans(qint64 from, qint64 n, Sink sink) const
    {
        while (n > 0) {
            const qint64 at = from & (kChunk - 1);
            const qint64 take = std::min(n, kChunk - at);
            sink(m_chunks[size_t(from >> kShift)] + at, take);
            from += take;
            n -= take;
        }
    }
    qint64 size() const { return m_size; }
    qint64 reserved() const { return qint64(m_chunks.size()) * kChunk; }
    void clear()
    {
        for (char *chunk : m_chunks)
            ::munmap(chunk, size_t(kChunk));
        std::vector<char *>().swap(m_chunks);
        m_size = 0;
    }

private:
    static char *mapChunk()
    {
        void *p = ::mmap(nullptr, size_t(kChunk), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        return static_cast<char *>(p);
    }

    std::vector<char *> m_chunks;
    qint64 m_size = 0;
};

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029;
}

int listingChars(unsigned char b)
{
    return b >= 16 ? 4 : 3;
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
    if (c < 0x1100)
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

LogStore::LogStore() : m_arena(std::make_unique<Arena>())
{
    clear();
}

LogStore::~LogStore() = default;

void LogStore::clear()
{
    m_arena->clear();
    // Given back to the system, not kept for the next log.
    std::vector<Piece>().swap(m_pieces);
    std::vector<Mark>().swap(m_marks);
    std::vector<Line>().swap(m_lines);
    m_lines.push_back(Line{0, 0});
    m_size = 0;
}

void LogStore::append(quint32 colour, QStringView text)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!isLineBreak(c))
            continue;
        appendLineSegment(colour, text.mid(from, i - from));
        breakLine();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    appendLineSegment(colour, text.mid(from));
}

void LogStore::breakLine()
{
    ++m_size;
    m_lines.push_back(Line{qint64(m_pieces.size()), m_size});
}

LogStore::Piece &LogStore::openPiece(quint32 colour, bool listing)
{
    const Line &line = m_lines.back();
    if (!m_pieces.empty() && qint64(m_pieces.size()) > line.firstPiece) {
        Piece &last = m_pieces.back();
        if (last.colour == colour && last.listing == listing)
            return last;
    }
    m_pieces.push_back(Piece{m_arena->size(), 0, m_size, 0, line.cells, 0, qint64(m_marks.size()), 0, colour, listing});
    return m_pieces.back();
}

void LogStore::appendLineSegment(quint32 colour, QStringView segment)
{
    if (segment.isEmpty())
        return;
    Piece &piece = openPiece(colour, false);
    Line &line = m_lines.back();
    qint64 lastMark = piece.markCount ? m_marks[size_t(piece.firstMark + piece.markCount - 1)].byte : 0;

    char buffer[4096 + 8];
    int filled = 0;
    const qsizetype n = segment.size();
    for (qsizetype i = 0; i < n;) {
        char32_t c = segment[i].unicode();
        int units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(segment[i + 1].unicode())) {
            c = QChar::surrogateToUcs4(char16_t(c), segment[i + 1].unicode());
            units = 2;
        } else if (QChar::isSurrogate(c)) {
            c = QChar::ReplacementCharacter; // a lone half reads as one broken character
        }
        if (piece.bytes + filled - lastMark >= kMarkEvery) {
            lastMark = piece.bytes + filled;
            m_marks.push_back(Mark{lastMark, piece.chars, piece.cells});
            ++piece.markCount;
        }
        const int width = cellWidth(c);
        line.lastCell = line.cells;
        line.cells += width;
        piece.cells += width;
        piece.chars += units;
        filled += encodeUtf8(c, buffer + filled);
        if (filled >= 4096) {
            m_arena->append(buffer, filled);
            piece.bytes += filled;
            filled = 0;
        }
        i += units;
    }
    m_arena->append(buffer, filled);
    piece.bytes += filled;
    m_size += n;
}

void LogStore::appendListing(quint32 colour, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    Piece &piece = openPiece(colour, true);
    Line &line = m_lines.back();
    qint64 lastMark = piece.markCount ? m_marks[size_t(piece.firstMark + piece.markCount - 1)].byte : 0;
    qint64 chars = 0;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (piece.bytes + i - lastMark >= kMarkEvery) {
            lastMark = piece.bytes + i;
            m_marks.push_back(Mark{lastMark, piece.chars + chars, piece.cells + chars});
            ++piece.markCount;
        }
        chars += listingChars(data[i]);
    }
    m_arena->append(bytes.constData(), bytes.size());
    piece.bytes += bytes.size();
    piece.chars += chars;
    piece.cells += chars;
    line.cells += chars;
    line.lastCell = line.cells - 1;
    m_size += chars;
}

qint64 LogStore::lineLength(qint64 line) const
{
    const qint64 end = line + 1 < lineCount() ? m_lines[size_t(line + 1)].start - 1 : m_size;
    return end - m_lines[size_t(line)].start;
}

qint64 LogStore::lineAt(qint64 position) const
{
    const auto it = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                                     [](qint64 p, const Line &l) { return p < l.start; });
    return std::max<qint64>(0, qint64(it - m_lines.begin()) - 1);
}

qint64 LogStore::lineEndPiece(qint64 line) const
{
    return line + 1 < lineCount() ? m_lines[size_t(line + 1)].firstPiece : qint64(m_pieces.size());
}

qint64 LogStore::pieceAt(qint64 line, qint64 position) const
{
    const auto first = m_pieces.begin() + m_lines[size_t(line)].firstPiece;
    const auto last = m_pieces.begin() + lineEndPiece(line);
    const auto it = std::upper_bound(first, last, position, [](qint64 p, const Piece &x) { return p < x.start; });
    return it == first ? -1 : qint64(it - m_pieces.begin()) - 1;
}

qint64 LogStore::pieceAtCell(qint64 line, qint64 cell) const
{
    const auto first = m_pieces.begin() + m_lines[size_t(line)].firstPiece;
    const auto last = m_pieces.begin() + lineEndPiece(line);
    const auto it = std::upper_bound(first, last, cell, [](qint64 c, const Piece &x) { return c < x.cellStart; });
    return it == first ? -1 : qint64(it - m_pieces.begin()) - 1;
}

LogStore::Mark LogStore::markBefore(const Piece &piece, qint64 value, bool byCell) const
{
    const auto first = m_marks.begin() + piece.firstMark;
    const auto last = first + piece.markCount;
    const auto it = std::upper_bound(first, last, value,
                                     [byCell](qint64 v, const Mark &m) { return v < (byCell ? m.cell : m.chr); });
    return it == first ? Mark{0, 0, 0} : *(it - 1);
}

// `visit(units, count, width, chr, cell)`: one character of the piece, its
// position and cell relative to the piece; returns false to stop.
template<typename Visit>
void LogStore::walk(const Piece &piece, Mark from, Visit visit) const
{
    qint64 chr = from.chr;
    qint64 cell = from.cell;
    const qint64 end = piece.data + piece.bytes;
    if (piece.listing) {
        char16_t token[4] = {u' ', u' ', 0, 0};
        for (qint64 b = piece.data + from.byte; b < end; ++b) {
            const unsigned char v = m_arena->at(b);
            int n = 2;
            if (v >= 16)
                token[n++] = kHexDigits[v >> 4];
            token[n++] = kHexDigits[v & 15];
            for (int k = 0; k < n; ++k, ++chr, ++cell)
                if (!visit(token + k, 1, 1, chr, cell))
                    return;
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

template<typename Break, typename Span>
void LogStore::spans(qint64 from, qint64 to, Break lineBreak, Span span) const
{
    for (qint64 line = lineAt(from); line < lineCount() && lineStart(line) <= to; ++line) {
        const qint64 start = lineStart(line);
        const qint64 end = start + lineLength(line);
        if (start > from && start <= to)
            lineBreak();
        if (end <= from || start >= to)
            continue;
        const qint64 a = std::max(from, start);
        const qint64 b = std::min(to, end);
        for (qint64 p = std::max<qint64>(pieceAt(line, a), m_lines[size_t(line)].firstPiece); p < lineEndPiece(line); ++p) {
            const Piece &piece = m_pieces[size_t(p)];
            if (piece.start >= b)
                break;
            span(piece, std::max(a, piece.start), std::min(b, piece.start + piece.chars));
        }
    }
}

QString LogStore::text(qint64 from, qint64 to) const
{
    QString out;
    from = std::clamp<qint64>(from, 0, m_size);
    to = std::clamp<qint64>(to, from, m_size);
    if (to > from)
        out.reserve(qsizetype(to - from));
    spans(from, to, [&] { out += u'\n'; }, [&](const Piece &piece, qint64 a, qint64 b) {
        walk(piece, markBefore(piece, a - piece.start, false), [&](const char16_t *units, int count, int, qint64 chr, qint64) {
            const qint64 at = piece.start + chr;
            if (at >= b)
                return false;
            if (at >= a)
                out.append(reinterpret_cast<const QChar *>(units), count);
            return true;
        });
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
    spans(from, to, [&] { *room() = '\n', ++used; }, [&](const Piece &piece, qint64 a, qint64 b) {
        const bool whole = a <= piece.start && piece.start + piece.chars <= b;
        if (whole && !piece.listing) {
            // The stored bytes are the text.
            flush();
            m_arena->spans(piece.data, piece.bytes, sink);
            return;
        }
        if (whole) {
            m_arena->spans(piece.data, piece.bytes, [&](const char *bytes, qint64 n) {
                for (qint64 i = 0; i < n; ++i) {
                    char *out = room();
                    const auto v = static_cast<unsigned char>(bytes[i]);
                    out[0] = ' ';
                    out[1] = ' ';
                    int k = 2;
                    if (v >= 16)
                        out[k++] = char(kHexDigits[v >> 4]);
                    out[k++] = char(kHexDigits[v & 15]);
                    used += k;
                }
            });
            return;
        }
        walk(piece, markBefore(piece, a - piece.start, false), [&](const char16_t *units, int count, int, qint64 chr, qint64) {
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

void LogStore::visitCells(qint64 line, qint64 fromCell, qint64 toCell,
                          const std::function<void(quint32, QStringView, qint64, qint64)> &run) const
{
    if (toCell <= fromCell)
        return;
    QString chunk;
    const qint64 firstPiece = std::max<qint64>(pieceAtCell(line, fromCell), m_lines[size_t(line)].firstPiece);
    for (qint64 p = firstPiece; p < lineEndPiece(line); ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        if (piece.cellStart >= toCell)
            break;
        chunk.clear();
        qint64 firstPosition = -1, firstCell = -1;
        walk(piece, markBefore(piece, std::max<qint64>(0, fromCell - piece.cellStart), true),
             [&](const char16_t *units, int count, int, qint64 chr, qint64 cell) {
                 const qint64 at = piece.cellStart + cell;
                 if (at >= toCell)
                     return false;
                 if (at >= fromCell) {
                     if (firstPosition < 0) {
                         firstPosition = piece.start + chr;
                         firstCell = at;
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
    const qint64 lineEnd = lineStart(line) + lineLength(line);
    if (cell <= 0)
        return lineStart(line);
    for (qint64 p = std::max<qint64>(pieceAtCell(line, cell), m_lines[size_t(line)].firstPiece); p < lineEndPiece(line); ++p) {
        const Piece &piece = m_pieces[size_t(p)];
        qint64 found = -1;
        walk(piece, markBefore(piece, std::max<qint64>(0, cell - piece.cellStart), true),
             [&](const char16_t *, int, int, qint64 chr, qint64 c) {
                 if (piece.cellStart + c >= cell) {
                     found = piece.start + chr;
                     return false;
                 }
                 return true;
             });
        if (found >= 0)
            return found;
    }
    return lineEnd;
}

qint64 LogStore::cellAt(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, m_size);
    const qint64 line = lineAt(position);
    if (position >= lineStart(line) + lineLength(line))
        return m_lines[size_t(line)].cells;
    const qint64 p = pieceAt(line, position);
    if (p < 0)
        return 0;
    const Piece &piece = m_pieces[size_t(p)];
    qint64 found = piece.cellStart + piece.cells;
    walk(piece, markBefore(piece, position - piece.start, false), [&](const char16_t *, int count, int, qint64 chr, qint64 c) {
        if (piece.start + chr + count > position) {
            found = piece.cellStart + c;
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
    if (position < 0 || position >= m_size) {
        stretch(position, position);
        return 0;
    }
    const qint64 line = lineAt(position);
    const qint64 p = pieceAt(line, position);
    if (p < 0 || position >= m_pieces[size_t(p)].start + m_pieces[size_t(p)].chars) {
        stretch(position, position + 1); // a line break
        return 0;
    }
    const Piece &piece = m_pieces[size_t(p)];
    stretch(piece.start, piece.start + piece.chars);
    return piece.colour;
}

qint64 LogStore::bytesUsed() const
{
    return m_arena->reserved() + qint64(m_pieces.capacity() * sizeof(Piece)) + qint64(m_lines.capacity() * sizeof(Line))
        + qint64(m_marks.capacity() * sizeof(Mark));
}
