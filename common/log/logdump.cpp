// SPDX-License-Identifier: MIT
#include "logdump.h"

#include "logstore.h"

#include <algorithm>

namespace LogDump {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";
// Rows made at a time when a long listing is written out.
constexpr qint64 kRowsAtOnce = 4096;

} // namespace

QString row(qint64 offset, const QByteArray &bytes)
{
    // xxd writes the offset in small letters, whatever -u says.
    QString out = QString::number(quint64(offset), 16).rightJustified(8, u'0');
    out.reserve(kRowCells + 8);
    out += QStringLiteral(": ");
    for (qsizetype k = 0; k < kRowBytes; ++k) {
        if (k < bytes.size()) {
            const auto b = quint8(bytes[k]);
            out += QChar(kHex[b >> 4]);
            out += QChar(kHex[b & 15]);
            out += u' ';
        } else {
            out += QStringLiteral("   ");
        }
    }
    out += u' ';
    for (const char c : bytes)
        out += c >= 0x20 && c < 0x7F ? QChar(c) : QChar(u'.');
    return out;
}

QString rows(const LogStore &store, const Listing &listing, qint64 first, qint64 end)
{
    QString out;
    out.reserve(qsizetype(rowsSize(listing, first, end)));
    const QByteArray bytes = store.listingBytes(listing.start, first * kRowBytes, (end - first) * kRowBytes);
    for (qint64 r = first; r < end; ++r) {
        if (r > first)
            out += u'\n';
        out += row(r * kRowBytes, bytes.mid((r - first) * kRowBytes, kRowBytes));
    }
    return out;
}

void rowsInPieces(const LogStore &store, const Listing &listing, qint64 first, qint64 end,
                  const std::function<void(const QString &)> &piece)
{
    for (qint64 r = first; r < end; r += kRowsAtOnce)
        piece((r > first ? QStringLiteral("\n") : QString()) + rows(store, listing, r, std::min(end, r + kRowsAtOnce)));
}

qint64 rowsSize(const Listing &listing, qint64 first, qint64 end)
{
    if (end <= first)
        return 0;
    // A row takes the characters' column, and its bytes' characters; the
    // offset grows past eight digits only beyond 4 GiB.
    const qint64 lastBytes = std::min(kRowBytes, listing.bytes - (end - 1) * kRowBytes);
    qint64 size = (end - first) * (kTextColumn + 1) - 1 + (end - first - 1) * kRowBytes + lastBytes;
    for (qint64 r = std::max<qint64>(first, (qint64(1) << 32) / kRowBytes); r < end; ++r)
        size += QString::number(quint64(r * kRowBytes), 16).size() - 8;
    return size;
}

void rowsTouched(const LogStore &store, const Listing &listing, qint64 from, qint64 to, qint64 *first, qint64 *end)
{
    from = std::max(from, listing.start);
    to = std::min(to, listing.end);
    if (to <= from) {
        *first = *end = 0;
        return;
    }
    *first = store.listingByteAt(listing.start, from) / kRowBytes;
    *end = store.listingByteAt(listing.start, to - 1) / kRowBytes + 1;
}

qint64 rowBoundary(const LogStore &store, qint64 position)
{
    qint64 boundary = position;
    store.visitListings(position - 1, position, [&](qint64 start, qint64 end, qint64 bytes, quint32) {
        if (start < position && position < end) {
            const qint64 row = store.listingByteAt(start, position - 1) / kRowBytes;
            boundary = store.listingToken(start, std::min(bytes, (row + 1) * kRowBytes));
        }
    });
    return boundary;
}

void Walk::walk(qint64 from, qint64 to, const Visitor &visitor)
{
    qint64 at = from;
    m_store.visitListings(from, to, [&](qint64 start, qint64 end, qint64 bytes, quint32 colour) {
        const Listing listing{start, end, bytes, colour};
        textPart(at, start, visitor);
        qint64 first, last;
        rowsTouched(m_store, listing, from, to, &first, &last);
        if (m_last == Last::Text || m_last == Last::Rows)
            visitor.lineBreak();
        visitor.listingRows(listing, first, last);
        m_last = Last::Rows;
        at = std::min(to, end);
    });
    textPart(at, to, visitor);
}

void Walk::textPart(qint64 from, qint64 to, const Visitor &visitor)
{
    if (to <= from)
        return;
    const bool breakFirst = m_store.text(from, from + 1) == QStringLiteral("\n");
    if (m_last == Last::Rows && !breakFirst)
        visitor.lineBreak();
    visitor.text(from, to);
    m_last = m_store.text(to - 1, to) == QStringLiteral("\n") ? Last::LineBreak : Last::Text;
}

QString text(const LogStore &store, qint64 from, qint64 to)
{
    QString out;
    Walk walk(store);
    walk.walk(from, to,
              {[&](qint64 a, qint64 b) { out += store.text(a, b); },
               [&](const Listing &listing, qint64 first, qint64 end) { out += rows(store, listing, first, end); },
               [&] { out += u'\n'; }});
    return out;
}

void writeUtf8(const LogStore &store, qint64 from, qint64 to, const std::function<void(const char *, qint64)> &sink)
{
    Walk walk(store);
    walk.walk(from, to,
              {[&](qint64 a, qint64 b) { store.writeUtf8(a, b, sink); },
               [&](const Listing &listing, qint64 first, qint64 end) {
                   rowsInPieces(store, listing, first, end, [&](const QString &rows) {
                       const QByteArray utf8 = rows.toUtf8();
                       sink(utf8.constData(), utf8.size());
                   });
               },
               [&] { sink("\n", 1); }});
}

qint64 utf8Size(const LogStore &store, qint64 from, qint64 to)
{
    qint64 size = 0;
    Walk walk(store);
    walk.walk(from, to,
              {[&](qint64 a, qint64 b) { size += store.utf8Size(a, b); },
               [&](const Listing &listing, qint64 first, qint64 end) { size += rowsSize(listing, first, end); },
               [&] { ++size; }});
    return size;
}

} // namespace LogDump
