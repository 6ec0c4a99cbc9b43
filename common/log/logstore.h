// SPDX-License-Identifier: MIT
#pragma once

#include "keptbytes.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class LogArena;

// The log's content, kept compactly and append-only: runs of one colour,
// text as UTF-8 (its line breaks as "\n", and U+FFFD, which undecodable
// input brings in numbers, as the one byte 0xFF that UTF-8 never uses) and
// a byte listing as the bytes themselves, turned into their "  41  42  D"
// form only when read; and a sparse index of its lines.
//
// The log reads as one text whose lines are separated by "\n" (a written
// CR LF, CR, LF or paragraph separator each starts a new line). Positions
// count the UTF-16 characters of that text, as QString does, a line break
// counting one. For a view that wraps lines on a fixed-pitch grid, every
// character also has a cell: its column within its line, a wide (CJK)
// character taking two.
class LogStore
{
public:
    LogStore();
    ~LogStore();
    LogStore(const LogStore &) = delete;
    LogStore &operator=(const LogStore &) = delete;

    // `colour` is 0x00BBGGRR. Text is stored as given (the pane makes it
    // displayable first, see LogText), a lone half of a surrogate pair as
    // U+FFFD. When the system gives no more memory the appends throw
    // std::bad_alloc and leave the log as it was; a last few short ones
    // still fit (the words that say so).
    void append(quint32 colour, QStringView text);
    // The listing of `bytes`, as listByte() writes each (payload.h); where
    // the bytes are kept, to be read back as they came (readKept()).
    KeptPlace appendListing(quint32 colour, const QByteArray &bytes);
    bool readKept(KeptPlace place, qint64 n, const KeptSink &sink) const;
    void clear();

    // Characters of the whole text.
    qint64 size() const { return m_size; }
    // How many times the log was emptied: positions taken before a clear
    // mean nothing after it.
    quint64 clears() const { return m_clears; }
    // Never less than one: an empty log is one empty line.
    qint64 lineCount() const { return m_lineCount; }
    qint64 lineStart(qint64 line) const;
    // Characters of the line, its break excluded.
    qint64 lineLength(qint64 line) const;
    // The cells the line takes, and the cell its last character starts at
    // (-1 for an empty line): its rows at a width follow from these alone.
    // (Counted up to 2^31 - 1: no entry of a tool comes near.)
    qint64 lineCells(qint64 line) const { return packedCells(line) >> 1; }
    qint64 lineLastCell(qint64 line) const;
    // The line holding `position` (a line break belongs to the line it ends).
    qint64 lineAt(qint64 position) const;

    // The lines come in blocks of consecutive lines, at most kBlockLines
    // each and closed at the first break after kBlockChars characters. The
    // index keeps a few words a block, not a line, so that a flood of short
    // lines costs what its text does; a line inside a block is found by
    // reading the block's text, which (its last line aside) is short. A
    // view that counts rows keeps its figures a block too.
    static constexpr qint64 kBlockLines = 128;
    static constexpr qint64 kBlockChars = 4096;
    qint64 blockCount() const { return qint64(m_blocks.size()); }
    qint64 blockOf(qint64 line) const { return lastBlockWith(&Block::firstLine, line); }
    qint64 blockFirstLine(qint64 block) const { return m_blocks[size_t(block)].firstLine; }
    qint64 blockLines(qint64 block) const
    {
        return (block + 1 < blockCount() ? blockFirstLine(block + 1) : m_lineCount) - blockFirstLine(block);
    }
    // The most cells a line of the block takes.
    qint64 blockWidest(qint64 block) const { return m_blocks[size_t(block)].widest; }

    // The text of [from, to), clamped to the log.
    QString text(qint64 from, qint64 to) const;
    // The same as UTF-8, handed out in pieces of bounded size, so that a
    // copy of a large log never holds it twice.
    void writeUtf8(qint64 from, qint64 to, const std::function<void(const char *, qint64)> &sink) const;
    // How many bytes writeUtf8() hands out for [from, to).
    qint64 utf8Size(qint64 from, qint64 to) const;

    // Walks the characters of `line` that start at cells [fromCell, toCell),
    // as runs of one colour: `run(colour, text, firstPosition, firstCell)`.
    // A wide character that starts before `toCell` is taken whole.
    void visitCells(qint64 line, qint64 fromCell, qint64 toCell,
                    const std::function<void(quint32, QStringView, qint64, qint64)> &run) const;
    // The position of the first character of `line` starting at or after
    // `cell` (the line's end when none does), and the cell of a position.
    qint64 positionAtCell(qint64 line, qint64 cell) const;
    qint64 cellAt(qint64 position) const;

    // The colour of the character at `position` (0 for a line break and
    // past the end), and the stretch of its line around it written in that
    // colour ([*from, *to)).
    quint32 colourAt(qint64 position, qint64 *from = nullptr, qint64 *to = nullptr) const;

    // A text as a listing would have to show it, as the listed bytes that
    // would show it: a byte exactly, or by one digit where the text takes
    // only the end or the start of its token. A listing is searched for
    // such bytes without being written out.
    struct ListedBytes
    {
        enum Kind : quint8 { Exact, Low, High, Any };
        struct Byte
        {
            Kind kind;
            quint8 value; // the byte, or the digit
        };
        // False: no listing can show the text at all.
        bool possible = false;
        std::vector<Byte> bytes;
        int anchor = -1; // an Exact byte to scan for; -1: the text must be read
        // The text's start in the first byte's token: after so many of its
        // two spaces, or (none) at so many digits from its end.
        int leadSpaces = 0;
        int leadDigits = 0;
        // `needle` as the find matches it, any case.
        static ListedBytes of(QStringView needle);
    };
    // The first (or, `last`, the last) position in [from, to) where a text
    // of `length` characters with `listed` bytes (which has an anchor)
    // starts wholly inside one listing; -1 for none.
    qint64 findListed(const ListedBytes &listed, qint64 length, qint64 from, qint64 to, bool last) const;
    // The run of one colour and kind around `position`: [*from, *to), and
    // whether it is a listing.
    bool runAround(qint64 position, qint64 *from, qint64 *to) const;

    // Listings, for a view that shows them as rows of a dump. Those that
    // [from, to) touches, whole and in order: `visit(start, end, bytes,
    // colour)` (a listing holds no line break: its line holds it whole).
    void visitListings(qint64 from, qint64 to,
                       const std::function<void(qint64, qint64, qint64, quint32)> &visit) const;
    bool blockHasListing(qint64 block) const { return m_blocks[size_t(block)].listing; }
    // Of the listing starting at `start`: where the token of its byte
    // `byte` starts (its end, for byte == its bytes), the byte whose token
    // holds `position`, and `n` of its bytes from `first`.
    qint64 listingToken(qint64 start, qint64 byte) const;
    qint64 listingByteAt(qint64 start, qint64 position) const;
    QByteArray listingBytes(qint64 start, qint64 first, qint64 n) const;

    // Why the log is no longer kept on disk, said once (see LogArena).
    QString notice();

    // Memory the content takes, with its index.
    qint64 bytesUsed() const;

    // Cells a character takes on the grid: 2 for the wide and full-width
    // forms of East Asian scripts (and the emoji drawn that wide), else 1.
    static int cellWidth(char32_t c);

private:
    // A run of one colour and kind; a text run may hold line breaks.
    struct Piece
    {
        qint64 data;      // first byte in the arena
        qint64 bytes;     // stored bytes (UTF-8, or the listed bytes)
        qint64 start;     // position of its first character
        qint64 chars;     // characters it reads as
        qint64 cellStart; // cell of its first character within its line
        qint64 firstMark; // its marks, in m_marks
        qint64 markCount;
        qint64 replacements; // U+FFFD stored in one byte: UTF-8 has two more
        quint32 colour;
        bool listing;
    };
    // A point inside a long piece, every kMarkEvery stored bytes, so that a
    // position or cell deep inside it is found without reading from its
    // start. Its cell is within the line it falls in.
    struct Mark
    {
        qint64 byte, chr, cell;
    };
    // (A line is read from the mark before it: this bounds that reading,
    // at some 1 % of the stored bytes for the index.)
    static constexpr qint64 kMarkEvery = 2048;
    static constexpr qint64 kMostCells = (qint64(1) << 31) - 1;


    // Room for `bytes` more, taken before anything changes.
    void makeRoom(qint64 bytes);
    static constexpr qint64 kLastWords = 4096;
    Piece &openPiece(quint32 colour, bool listing);
    void addMark(Piece &piece, const Mark &mark);
    qint64 pieceAt(qint64 position) const;
    qint64 lineEnd(qint64 line) const { return lineStart(line) + lineLength(line); }
    // Where to start reading `piece` to reach the character at piece
    // position `chr`: its nearest mark before it, or its own start.
    Mark markBefore(const Piece &piece, qint64 chr) const;
    // The same for the first character at or after `cell` of the line that
    // spans piece positions [lineChr, lineEndChr) (lineChr negative: the
    // line starts before the piece).
    Mark markBeforeCell(const Piece &piece, qint64 lineChr, qint64 lineEndChr, qint64 cell) const;
    // Reads the characters of `piece` from `from` (a mark or its start):
    // `visit(utf16, count, width, chr, cell)` returns false to stop. A line
    // break comes as "\n" with width 0; the cell starts again after it.
    template<typename Visit>
    void walk(const Piece &piece, Mark from, Visit visit) const;
    // The stored byte of a text piece where its character `chr` starts.
    qint64 byteAt(const Piece &piece, qint64 chr) const;
    // In a listing: the byte whose token holds character `chr`, and where
    // the token of byte `byte` starts (piece positions).
    qint64 listedByteAt(const Piece &piece, qint64 chr) const;
    qint64 tokenStart(const Piece &piece, qint64 byte) const;
    // The pieces that [from, to) touches, each with the part [a, b) of it.
    template<typename Span>
    void spans(qint64 from, qint64 to, Span span) const;

    // A line's cells * 2, plus 1 when its last character is wide.
    static quint32 packCells(qint64 cells, bool lastWide)
    {
        return quint32(std::min(cells, kMostCells) << 1) | (lastWide ? 1u : 0u);
    }
    quint32 packedCells(qint64 line) const;

    struct Block
    {
        qint64 firstLine;
        qint64 start;      // position of its first line
        quint32 lastCells; // its last line's, packed: the only line that may be long
        quint32 widest;
        bool listing = false; // whether it holds a listing
    };
    // The starts and packed cells of a block's lines, read from its text;
    // the last few read are kept, as a view asks about the same lines
    // again and again while it draws.
    struct BlockLines
    {
        qint64 block = -1;
        qint64 size = -1; // the log's size when read (a closed block no longer changes)
        bool closed = false;
        std::vector<qint64> starts;
        std::vector<quint32> cells;
    };
    const BlockLines &linesOf(qint64 block) const;
    // The last block whose `field` is at most `value`.
    qint64 lastBlockWith(qint64 Block::*field, qint64 value) const;
    qint64 blockAt(qint64 position) const { return lastBlockWith(&Block::start, position); }
    // The listing piece that starts at `start`.
    const Piece &listingAt(qint64 start) const;

    std::unique_ptr<LogArena> m_arena;
    std::vector<Piece> m_pieces;
    // In blocks of its own (growing never copies it whole).
    std::deque<Block> m_blocks;
    qint64 m_lineCount = 1;
    // In blocks, as the line index: growing never copies it whole.
    std::deque<Mark> m_marks;
    qint64 m_size = 0;
    quint64 m_clears = 0;
    mutable BlockLines m_read[4];
    mutable int m_nextRead = 0;
};
