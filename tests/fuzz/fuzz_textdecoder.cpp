// SPDX-License-Identifier: MIT
// StreamTextDecoder against a plain reference: the same text however the
// stream is cut into reads, one U+FFFD per maximal invalid subpart, valid
// UTF-8 as itself, never a lone surrogate.
//
// Input: one byte that seeds how the stream is cut, then the stream.

#include "fuzzcheck.h"
#include "textdecoder.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Every prefix of every well-formed UTF-8 sequence, found by encoding every
// scalar value: a byte string is the start of a character exactly when it
// is listed here. This knows nothing of lead-byte tables, so it checks the
// decoder's own ranges rather than repeating them.
struct Entry
{
    uint64_t key; // length in the high half, the bytes in the low
    int32_t scalar; // -1 when the bytes are only the start of a character
};

uint64_t keyOf(const unsigned char *s, int length)
{
    uint64_t packed = 0;
    for (int k = 0; k < length; ++k)
        packed = packed << 8 | s[k];
    return uint64_t(length) << 32 | packed;
}

int encode(char32_t c, unsigned char *out)
{
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | c >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | c >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | c >> 18);
    out[1] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

const std::vector<Entry> &wellFormed()
{
    static const std::vector<Entry> table = [] {
        std::vector<Entry> t;
        t.reserve(1200000);
        unsigned char before[4] = {};
        int beforeLength = 0;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            unsigned char s[4];
            const int length = encode(c, s);
            t.push_back({keyOf(s, length), int32_t(c)});
            // Each proper prefix once: with the first character that has it
            // (characters come in order, so those that share it are next).
            for (int k = 1; k < length; ++k) {
                if (beforeLength != length || !std::equal(s, s + k, before))
                    t.push_back({keyOf(s, k), -1});
            }
            std::copy(s, s + length, before);
            beforeLength = length;
        }
        std::sort(t.begin(), t.end(), [](const Entry &a, const Entry &b) { return a.key < b.key; });
        return t;
    }();
    return table;
}

const Entry *lookup(const unsigned char *s, int length)
{
    const auto &t = wellFormed();
    const uint64_t key = keyOf(s, length);
    const auto it = std::lower_bound(t.begin(), t.end(), key, [](const Entry &e, uint64_t k) { return e.key < k; });
    return it != t.end() && it->key == key ? &*it : nullptr;
}

void append(QString &text, char32_t c)
{
    if (c < 0x10000) {
        text += QChar(char16_t(c));
    } else {
        text += QChar(char16_t(0xD800 + ((c - 0x10000) >> 10)));
        text += QChar(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
}

struct Reference
{
    QString text;          // the whole stream's text, the end included
    int broken = 0;        // maximal subparts that are no character
    int replacements = 0;  // U+FFFD that the stream itself spelled out
    QByteArray trailing;   // the start of a character that the stream ends in
};

// The maximal-subpart rule, read straight: at each position take the
// longest run of bytes that begins some well-formed sequence. A whole
// sequence is its character; anything shorter (or a byte that begins
// nothing) is one U+FFFD.
Reference reference(const unsigned char *s, size_t size)
{
    Reference ref;
    size_t i = 0;
    while (i < size) {
        int k = 0;
        while (k < 4 && i + k < size && lookup(s + i, k + 1))
            ++k;
        if (k == 0) {
            ref.text += QChar(QChar::ReplacementCharacter);
            ++ref.broken;
            ++i;
            continue;
        }
        const Entry *e = lookup(s + i, k);
        if (e->scalar >= 0) {
            append(ref.text, char32_t(e->scalar));
            if (e->scalar == 0xFFFD)
                ++ref.replacements;
        } else {
            ref.text += QChar(QChar::ReplacementCharacter);
            ++ref.broken;
            if (i + k == size)
                ref.trailing = QByteArray(reinterpret_cast<const char *>(s + i), k);
        }
        i += k;
    }
    return ref;
}

QString inReads(const QByteArray &stream, const std::vector<size_t> &pieces)
{
    StreamTextDecoder decoder;
    QString text;
    qsizetype at = 0;
    for (const size_t piece : pieces) {
        text += decoder.decode(stream.constData() + at, qsizetype(piece));
        at += qsizetype(piece);
    }
    FUZZ_CHECK(at == stream.size());
    text += decoder.finish();
    FUZZ_CHECK(!decoder.holding());
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    wellFormed();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const auto *bytes = reinterpret_cast<const unsigned char *>(stream.constData());
    const Reference ref = reference(bytes, size_t(stream.size()));

    const QString whole = inReads(stream, {size_t(stream.size())});
    FUZZ_CHECK_EQ(whole, ref.text);

    // Any cut gives the text of one piece: every byte a read of its own,
    // and a cut the seed picks, empty reads included.
    FUZZ_CHECK_EQ(inReads(stream, std::vector<size_t>(size_t(stream.size()), 1)), whole);
    FUZZ_CHECK_EQ(inReads(stream, fuzz::cuts(seed, size_t(stream.size()))), whole);

    // One U+FFFD per broken subpart, besides those the stream spelled out.
    FUZZ_CHECK_EQ(qint64(whole.count(QChar(QChar::ReplacementCharacter))), qint64(ref.broken + ref.replacements));

    // Surrogates only ever come in pairs.
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (whole.at(i).isHighSurrogate()) {
            FUZZ_CHECK(i + 1 < whole.size() && whole.at(i + 1).isLowSurrogate());
            ++i;
        } else {
            FUZZ_CHECK(!whole.at(i).isLowSurrogate());
        }
    }

    // Valid UTF-8 reads as Qt reads it, a byte order mark at the start
    // kept: it came over the link like any other character.
    if (ref.broken == 0)
        FUZZ_CHECK_EQ(whole, QString(QStringDecoder(QStringDecoder::Utf8,
                                                    QStringConverter::Flag::ConvertInitialBom)
                                         .decode(stream)));

    // Without finish(), the decoder holds exactly the character the stream
    // was cut in, and gives those bytes back as they came.
    {
        StreamTextDecoder decoder;
        decoder.decode(stream);
        FUZZ_CHECK(decoder.holding() == !ref.trailing.isEmpty());
        FUZZ_CHECK_EQ(decoder.takeHeld(), ref.trailing);
        FUZZ_CHECK(!decoder.holding());
        FUZZ_CHECK(decoder.finish().isEmpty());
    }

    // A switch to bytes and back: what the first part held leads the rest,
    // which a fresh decoder then reads; nothing is lost or doubled.
    {
        const qsizetype middle = stream.isEmpty() ? 0 : qsizetype(seed) % (stream.size() + 1);
        StreamTextDecoder first;
        QString text = first.decode(stream.left(middle));
        const QByteArray held = first.takeHeld();
        FUZZ_CHECK(stream.left(middle).endsWith(held));
        StreamTextDecoder second;
        text += second.decode(held + stream.mid(middle));
        text += second.finish();
        FUZZ_CHECK_EQ(text, whole);
    }
    return 0;
}
