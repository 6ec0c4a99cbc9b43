// SPDX-License-Identifier: MIT
// The hex send codec: ParseHexPayload gives 1 to 255 bytes or refuses, and
// exactly what a plain reading of the token rules gives; FormatHexBytes
// reads back as the same bytes.
//
// Input: the send text, one character per byte (ASCII as itself, higher
// bytes as characters a reader could mistake for digits or spaces, 0xF0 and
// up a run of up to 256 of one character so that the 255-token and
// 255-character limits are in reach). The same bytes, raw, are also the
// payload that FormatHexBytes lists.

#include "fuzzcheck.h"
#include "payload.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

constexpr qsizetype kLongestText = 20000;

QString textFrom(const uint8_t *data, size_t size)
{
    static const char16_t odd[] = {
        0x00A0, 0x3000, 0xFF10, 0xFF21, 0x0660, 0x0966, 0xD83D, 0xDE00,
        0xFFFD, 0x2029, 0x2028, 0x200B, 0xFEFF, 0x00E9, 0x4E2D, 0x000B,
    };
    static const char16_t runOf[] = {
        u' ', u' ', u' ', u'A', u'f', u'0', u'9', u'\t',
        u'\n', u'x', u'G', 0x3000, u'F', u'7', u'e', u'1',
    };
    return fuzz::typedText(data, size, odd, runOf, kLongestText);
}

QString trimmed(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == u' ')
        ++from;
    while (to > from && text.at(to - 1) == u' ')
        --to;
    return text.mid(from, to - from);
}

int hexDigit(char16_t c)
{
    const char *digits = "0123456789abcdef";
    for (int v = 0; v < 16; ++v) {
        if (c == char16_t(digits[v]) || (v >= 10 && c == char16_t(digits[v] - 'a' + 'A')))
            return v;
    }
    return -1;
}

// The "&H" reading of text[from, to).
quint32 ampH(const QString &text, qsizetype from, qsizetype to)
{
    quint32 value = 0;
    for (qsizetype k = from; k < to; ++k) {
        const char16_t c = text.at(k).unicode();
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const int d = hexDigit(c);
        if (d < 0)
            break;
        value = value * 16 + quint32(d);
    }
    return value;
}

struct Parsed
{
    QByteArray bytes;
    bool refused = false;
};

// The token rules read plainly, by positions in the text instead of
// copies of its rest: `from` is where the rest begins (always a non-space,
// as the text is trimmed).
Parsed reference(const QString &text)
{
    Parsed p;
    qsizetype from = 0;
    int tokens = 0;
    for (;;) {
        if (++tokens > 255) {
            p.refused = true;
            break;
        }
        qsizetype space = -1;
        for (qsizetype k = from; k < text.size(); ++k) {
            if (text.at(k) == u' ') {
                space = k;
                break;
            }
        }
        // Its 1-based place in the rest.
        if (space >= 0 && space - from + 1 > 255) {
            p.refused = true;
            break;
        }
        p.bytes += char(ampH(text, from, std::min(from + 2, text.size())));
        if (space < 0)
            break;
        from = space + 1;
        while (text.at(from) == u' ')
            ++from;
    }
    if (p.refused)
        p.bytes.clear();
    return p;
}

QString listing(const QByteArray &bytes)
{
    QString out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out += QStringLiteral("  ") + QString::number(b, 16).toUpper();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = textFrom(data, size);
    const QString send = trimmed(text);
    FUZZ_CHECK_EQ(trimSpaces(text), send);

    // The digit reader on any group, with 32-bit wrap-around.
    FUZZ_CHECK_EQ(qint64(hexGroupValue(QStringView(send).left(12))),
                  qint64(ampH(send, 0, std::min<qsizetype>(12, send.size()))));

    if (!send.isEmpty()) {
        const HexPayload got = ParseHexPayload(send);
        const Parsed want = reference(send);
        FUZZ_CHECK(got.beyondLimits == want.refused);
        if (got.beyondLimits) {
            FUZZ_CHECK(got.bytes.isEmpty());
        } else {
            FUZZ_CHECK(got.bytes.size() >= 1 && got.bytes.size() <= 255);
            FUZZ_CHECK_EQ(got.bytes, want.bytes);
            // What was parsed lists and parses back as itself.
            FUZZ_CHECK_EQ(ParseHexPayload(trimSpaces(FormatHexBytes(got.bytes))).bytes, got.bytes);
        }
    }

    // Any payload lists as "  XX" per byte, and that listing, sent as hex,
    // gives the payload back; 256 bytes or more are one token too many.
    const QByteArray payload(reinterpret_cast<const char *>(data), qsizetype(std::min<size_t>(size, 300)));
    const QString listed = FormatHexBytes(payload);
    FUZZ_CHECK_EQ(listed, listing(payload));
    if (!payload.isEmpty()) {
        const HexPayload back = ParseHexPayload(trimSpaces(listed));
        if (payload.size() <= 255) {
            FUZZ_CHECK(!back.beyondLimits);
            FUZZ_CHECK_EQ(back.bytes, payload);
        } else {
            FUZZ_CHECK(back.beyondLimits);
            FUZZ_CHECK(back.bytes.isEmpty());
        }
    }
    return 0;
}
