// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// The send text: the send box with leading and trailing spaces (U+0020 only)
// removed; tabs and line breaks stay.
QString trimSpaces(const QString &text);

// The value of a hexadecimal digit (0-9, A-F, a-f), -1 for anything else.
int hexDigitValue(QChar c);

// The value the "&H" reader gives a group of characters: hexadecimal digits
// from the start, blanks (space, tab, line feed) skipped, stopping at the
// first other character; no digit gives 0.
quint32 hexGroupValue(QStringView group);

struct HexPayload
{
    QByteArray bytes;
    // Set when the text is beyond the codec's limits (more than 255 tokens,
    // or a space beyond the 255th character of what remains): nothing of it
    // may be sent.
    bool beyondLimits = false;
};

// Space-separated hexadecimal tokens, one byte per token from its first two
// characters. `text` is the trimmed, non-empty send text.
HexPayload ParseHexPayload(const QString &text);

// Two spaces and the upper-case hexadecimal byte without leading zero, per
// byte: {0x41, 0x0A, 0x00} gives "  41  A  0".
QString FormatHexBytes(const QByteArray &bytes);

// The listing of one byte, as FormatHexBytes writes it, at `out` (room for
// kMostListed characters); returns its length. (Inline: the log lists a
// large capture a byte at a time through it.)
constexpr int kMostListed = 4;
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
inline int listByte(unsigned char byte, char *out)
{
    out[0] = ' ';
    out[1] = ' ';
    int length = 2;
    if (byte >= 16)
        out[length++] = kHexDigits[byte >> 4];
    out[length++] = kHexDigits[byte & 15];
    return length;
}
constexpr int listedLength(unsigned char byte)
{
    return byte >= 16 ? 4 : 3;
}

constexpr int kMaxPayloadTokens = 255;
constexpr int kMaxSpacePosition = 255;
