// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// How the log shows what it is given, so that every character that came is
// seen, in its place.
namespace LogText {

// NUL is stored as the symbol for null; the markers a text document takes
// for its own structure (the start and end of a frame, the place of an
// embedded object) and a lone half of a surrogate pair as the replacement
// character.
constexpr char16_t kNulStandIn = 0x2400;
constexpr char16_t kMarkerStandIn = 0xFFFD;

// `text` with those stand-ins: what the log stores.
QString displayable(const QString &text);

// A size as the tools say it, whatever the locale: "0 字节", "1 MiB",
// "5.9 GiB".
QString dataSize(qint64 bytes);

// Drawn for a character that would act on the row instead of showing: the
// line separator (it would end the row there) as the symbol for newline; a
// bidirectional formatting character (it would reorder what follows it) as
// a broken bar.
constexpr char16_t kLineSeparatorMark = 0x2424;
constexpr char16_t kDirectionMark = 0x00A6;

// The bidirectional formatting characters: the embeddings and overrides
// (U+202A-U+202E), the isolates (U+2066-U+2069) and the marks (U+200E,
// U+200F, U+061C).
constexpr bool isDirectionControl(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F
        || c == 0x061C;
}

// What is drawn for `c`, so that every character takes its cell and shows
// what came, in the order it came: a control character as its picture, a
// tab as a space, the characters above as their marks (the text keeps the
// character itself).
inline char16_t drawnAs(char16_t c)
{
    if (c == u'\t')
        return u' ';
    if (c < 0x20)
        return char16_t(0x2400 + c);
    if (c == 0x7F)
        return 0x2421;
    if (c < 0x061C)
        return c;
    if (c == 0x2028)
        return kLineSeparatorMark;
    if (isDirectionControl(c))
        return kDirectionMark;
    return c;
}

} // namespace LogText
