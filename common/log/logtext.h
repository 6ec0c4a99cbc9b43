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

// A control character is drawn as its picture, so that it takes its cell
// and shows what came; a tab as a space (the text keeps the character
// itself).
inline char16_t drawnAs(char16_t c)
{
    if (c == u'\t')
        return u' ';
    if (c < 0x20)
        return char16_t(0x2400 + c);
    if (c == 0x7F)
        return 0x2421;
    return c;
}

} // namespace LogText
