// SPDX-License-Identifier: MIT
// The store's find in a listing by the listed bytes themselves (see
// LogStore::ListedBytes): a listing is never written out to be searched.
#include "logarena.h"
#include "logstore.h"
#include "payload.h"

#include <algorithm>

LogStore::ListedBytes LogStore::ListedBytes::of(QStringView needle)
{
    // The text as runs of spaces and of hex digits, in turn: a listing is
    // "  " and one or two digits a byte, with no leading zero.
    ListedBytes out;
    const auto digit = [](char16_t c) {
        return c >= u'0' && c <= u'9' ? int(c - u'0')
            : c >= u'A' && c <= u'F'  ? int(c - u'A' + 10)
            : c >= u'a' && c <= u'f'  ? int(c - u'a' + 10)
                                      : -1;
    };
    struct Run
    {
        int spaces, digits, value;
    };
    std::vector<Run> runs;
    int trailing = 0;
    for (qsizetype i = 0; i < needle.size();) {
        int spaces = 0;
        for (; i < needle.size() && needle[i] == u' '; ++i)
            ++spaces;
        if (i == needle.size()) {
            trailing = spaces;
            break;
        }
        int digits = 0, value = 0;
        for (; i < needle.size() && digit(needle[i].unicode()) >= 0; ++i, ++digits)
            if (digits < 2) // (a longer run is in no listing)
                value = value * 16 + digit(needle[i].unicode());
        const bool leadingZero = digits == 2 && value < 16;
        if (digits == 0 || digits > 2 || leadingZero || spaces > 2 || (!runs.empty() && spaces != 2))
            return out; // no listing shows this
        runs.push_back(Run{spaces, digits, value});
    }
    if (trailing > 2)
        return out;
    out.possible = true;
    for (size_t k = 0; k < runs.size(); ++k) {
        const Run &run = runs[k];
        // Whether the text holds the start and the end of this byte's
        // digits; two digits are always all of them.
        const bool starts = k > 0 || run.spaces > 0 || run.digits == 2;
        const bool ends = k + 1 < runs.size() || trailing > 0 || run.digits == 2;
        if (starts && ends)
            out.bytes.push_back(Byte{Exact, quint8(run.value)});
        else if (starts)
            out.bytes.push_back(Byte{High, quint8(run.value)});
        else if (ends)
            out.bytes.push_back(Byte{Low, quint8(run.value)});
        else
            return out; // one digit alone: any byte that shows it, read as text
    }
    if (trailing > 0)
        out.bytes.push_back(Byte{Any, 0});
    for (size_t k = 0; k < out.bytes.size() && out.anchor < 0; ++k)
        if (out.bytes[k].kind == Exact)
            out.anchor = int(k);
    if (!runs.empty()) {
        out.leadSpaces = runs.front().spaces;
        out.leadDigits = runs.front().digits;
    }
    return out;
}

qint64 LogStore::listedByteAt(const Piece &piece, qint64 chr) const
{
    const Mark m = markBefore(piece, chr);
    qint64 byte = m.byte, at = m.chr;
    for (int n; byte + 1 < piece.bytes && at + (n = listedLength(m_arena->at(piece.data + byte))) <= chr; ++byte)
        at += n;
    return byte;
}

qint64 LogStore::tokenStart(const Piece &piece, qint64 byte) const
{
    const auto first = m_marks.begin() + piece.firstMark;
    const auto last = first + piece.markCount;
    const auto it = std::upper_bound(first, last, byte, [](qint64 v, const Mark &m) { return v < m.byte; });
    const Mark m = it == first ? Mark{0, 0, 0} : *(it - 1);
    qint64 chr = m.chr;
    for (qint64 b = m.byte; b < byte; ++b)
        chr += listedLength(m_arena->at(piece.data + b));
    return chr;
}

qint64 LogStore::findListed(const ListedBytes &listed, qint64 length, qint64 from, qint64 to, bool last) const
{
    from = std::max<qint64>(0, from);
    to = std::min(to, m_size);
    if (listed.anchor < 0 || to <= from)
        return -1;
    const qint64 count = qint64(listed.bytes.size());
    const auto fits = [&](const Piece &piece, qint64 first) {
        if (first < 0 || first + count > piece.bytes)
            return false;
        for (qint64 k = 0; k < count; ++k) {
            const unsigned v = m_arena->at(piece.data + first + k);
            const ListedBytes::Byte &want = listed.bytes[size_t(k)];
            const bool ok = want.kind == ListedBytes::Exact ? v == want.value
                : want.kind == ListedBytes::Low             ? (v < 16 ? v == want.value : (v & 15) == want.value)
                : want.kind == ListedBytes::High            ? (v < 16 ? v == want.value : (v >> 4) == want.value)
                                                            : true;
            if (!ok)
                return false;
        }
        return true;
    };
    const qint64 firstPiece = std::max<qint64>(0, pieceAt(last ? to - 1 : from));
    for (qint64 p = firstPiece; p >= 0 && p < qint64(m_pieces.size()); p += last ? -1 : 1) {
        const Piece &piece = m_pieces[size_t(p)];
        if (last ? piece.start + piece.chars <= from : piece.start >= to)
            break;
        if (!piece.listing)
            continue;
        const qint64 a = std::max(from, piece.start) - piece.start; // starts in [a, b), in the piece
        const qint64 b = std::min(to, piece.start + piece.chars) - piece.start;
        if (b <= a)
            continue;
        // A match starting in [a, b) starts in the token of a byte in
        // [first, last]; its anchor byte is so many after.
        qint64 lo = listedByteAt(piece, a) + listed.anchor;
        qint64 hi = std::min(listedByteAt(piece, b - 1) + listed.anchor + 1, piece.bytes);
        const quint8 value = listed.bytes[size_t(listed.anchor)].value;
        while (lo < hi) {
            const qint64 hit = m_arena->find(value, piece.data + lo, piece.data + hi, last);
            if (hit < 0)
                break;
            const qint64 first = hit - piece.data - listed.anchor;
            if (fits(piece, first)) {
                const qint64 token = tokenStart(piece, first);
                const qint64 at = listed.leadSpaces > 0
                    ? token + 2 - listed.leadSpaces
                    : token + listedLength(m_arena->at(piece.data + first)) - listed.leadDigits;
                if (at >= a && at < b && at + length <= piece.chars)
                    return piece.start + at;
            }
            if (last)
                hi = hit - piece.data;
            else
                lo = hit - piece.data + 1;
        }
    }
    return -1;
}

const LogStore::Piece &LogStore::listingAt(qint64 start) const
{
    const qint64 p = pieceAt(start);
    Q_ASSERT(p >= 0 && m_pieces[size_t(p)].start == start && m_pieces[size_t(p)].listing);
    return m_pieces[size_t(p)];
}

qint64 LogStore::listingToken(qint64 start, qint64 byte) const
{
    const Piece &piece = listingAt(start);
    return byte >= piece.bytes ? start + piece.chars : start + tokenStart(piece, std::max<qint64>(0, byte));
}

qint64 LogStore::listingByteAt(qint64 start, qint64 position) const
{
    const Piece &piece = listingAt(start);
    return listedByteAt(piece, std::clamp<qint64>(position - start, 0, piece.chars - 1));
}

QByteArray LogStore::listingBytes(qint64 start, qint64 first, qint64 n) const
{
    const Piece &piece = listingAt(start);
    first = std::clamp<qint64>(first, 0, piece.bytes);
    n = std::clamp<qint64>(n, 0, piece.bytes - first);
    QByteArray out;
    out.reserve(qsizetype(n));
    m_arena->spans(piece.data + first, n, [&](const char *bytes, qint64 take) { out.append(bytes, qsizetype(take)); });
    return out;
}
