// SPDX-License-Identifier: MIT
// Find in a listing by its bytes: LogStore::findListed, with the bytes
// ListedBytes::of makes of a needle, finds exactly the matches a plain
// scan of the listing's text finds (any case, wholly inside the listing),
// the first or the last in any range; and a needle it says no listing can
// show is in none.
//
// Input: the first byte picks the needle's length (1 to 12); the next ones
// spell it in spaces, hex digits of both cases and a letter past F; two
// bytes place the range; the rest are the listed bytes (few values, so
// that matches are common), repeated to some length.

#include "fuzzcheck.h"
#include "logstore.h"
#include "payload.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const size_t length = 1 + data[0] % 12;
    if (size < 3 + length + 1)
        return 0;
    static const char16_t spell[] = u"  0123456789ABCDEFabcdefx ";
    QString needle;
    for (size_t i = 0; i < length; ++i)
        needle += QChar(spell[data[1 + i] % (std::size(spell) - 1)]);
    const uint8_t a = data[1 + length], b = data[2 + length];
    static const unsigned char values[] = {0x00, 0x01, 0x0A, 0x10, 0x41, 0x4A, 0xA4, 0xFF, 0x1F, 0xF1};
    QByteArray bytes;
    const uint8_t *rest = data + 3 + length;
    const size_t restSize = size - 3 - length;
    for (size_t i = 0; bytes.size() < 600; ++i)
        bytes += char(values[rest[i % restSize] % std::size(values)]);

    LogStore store;
    store.append(0, QStringLiteral("t 4"));
    const qint64 start = store.size();
    store.appendListing(0xFF, bytes);
    const QString listing = FormatHexBytes(bytes);
    store.append(0, QStringLiteral("1 z"));
    const qint64 from = start - 2 + qint64(a) * (listing.size() + 4) / 255;
    const qint64 to = std::max(from, start - 2 + qint64(b) * (listing.size() + 4) / 255);

    // Every match wholly inside the listing, by the plain text.
    std::vector<qint64> matches;
    for (qsizetype at = 0; at + needle.size() <= listing.size(); ++at)
        if (QStringView(listing).mid(at, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
            matches.push_back(start + at);

    const LogStore::ListedBytes listed = LogStore::ListedBytes::of(needle);
    if (!listed.possible) {
        FUZZ_CHECK(matches.empty());
        return 0;
    }
    if (listed.anchor < 0)
        return 0; // read as text by the search
    qint64 first = -1, last = -1;
    for (const qint64 at : matches) {
        if (at >= from && at < to) {
            if (first < 0)
                first = at;
            last = at;
        }
    }
    FUZZ_CHECK_EQ(store.findListed(listed, needle.size(), from, to, false), first);
    FUZZ_CHECK_EQ(store.findListed(listed, needle.size(), from, to, true), last);
    return 0;
}
