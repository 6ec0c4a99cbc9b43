// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class LogStore;

// The log's listings read as a dump: rows of sixteen bytes as `xxd -g1 -u`
// writes them (the offset in the listing, the bytes in two digits, the
// printable ones as themselves and any other as '.'), each listing on rows
// of its own. Nothing is stored for it: the rows are made from the bytes a
// listing keeps, when read. A copy of dump rows goes back to bytes through
// `xxd -r`.
namespace LogDump {

constexpr qint64 kRowBytes = 16;
// Where the bytes and the characters start in a row, and a full row's cells.
constexpr int kHexColumn = 10;
constexpr int kTextColumn = kHexColumn + 3 * int(kRowBytes) + 1;
constexpr int kRowCells = kTextColumn + int(kRowBytes);

// One listing of the store, as LogStore::visitListings gives it.
struct Listing
{
    qint64 start, end, bytes;
    quint32 colour;
};

constexpr qint64 rowsOf(qint64 bytes)
{
    return (bytes + kRowBytes - 1) / kRowBytes;
}

// The row of `bytes` (at most kRowBytes) that start at `offset` of their
// listing, without its line break.
QString row(qint64 offset, const QByteArray &bytes);
// Rows [first, end) of a listing, a line break between each two; and how
// many characters (as many bytes of UTF-8) they take.
QString rows(const LogStore &store, const Listing &listing, qint64 first, qint64 end);
qint64 rowsSize(const Listing &listing, qint64 first, qint64 end);
// The same a few thousand rows at a time, a line break between each two
// pieces too: a long listing is never written out whole.
void rowsInPieces(const LogStore &store, const Listing &listing, qint64 first, qint64 end,
                  const std::function<void(const QString &)> &piece);
// The rows of `listing` that [from, to) touches: [*first, *end).
void rowsTouched(const LogStore &store, const Listing &listing, qint64 from, qint64 to, qint64 *first, qint64 *end);
// The first place at or after `position` where a dump may be cut: the end
// of the row that holds the byte before it, inside a listing.
qint64 rowBoundary(const LogStore &store, qint64 position);

// [from, to) of the log as the dump view shows it, in order: the log's own
// text as `text(a, b)`, the rows of a listing that the range touches, whole,
// as `listingRows(listing, first, end)`, and the line break a dump puts
// before and after a listing's rows where its line goes on as
// `lineBreak()`. Written in slices, each goes on where the last left off.
class Walk
{
public:
    struct Visitor
    {
        std::function<void(qint64, qint64)> text;
        std::function<void(const Listing &, qint64, qint64)> listingRows;
        std::function<void()> lineBreak;
    };
    explicit Walk(const LogStore &store) : m_store(store) {}
    void walk(qint64 from, qint64 to, const Visitor &visitor);

private:
    void textPart(qint64 from, qint64 to, const Visitor &visitor);

    const LogStore &m_store;
    // What was written last: a line break needs to be put between rows and
    // text only where the line does not end there.
    enum class Last { Nothing, LineBreak, Text, Rows } m_last = Last::Nothing;
};

// [from, to) in the dump view; as UTF-8, in pieces of bounded size; and its
// size as UTF-8.
QString text(const LogStore &store, qint64 from, qint64 to);
void writeUtf8(const LogStore &store, qint64 from, qint64 to, const std::function<void(const char *, qint64)> &sink);
qint64 utf8Size(const LogStore &store, qint64 from, qint64 to);

} // namespace LogDump
