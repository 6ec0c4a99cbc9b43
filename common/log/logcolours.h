// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Colours as the tools write them: 0x00BBGGRR, red in the low byte. The
// lamps use the same two: red is lit, black is out.
constexpr quint32 kBlack = 0x000000;
constexpr quint32 kRed = 0x0000FF;
constexpr quint32 kBlue = 0xFF0000;

// The same colour as 0xRRGGBB, the order QColor (as a QRgb) and a web page
// read it in.
constexpr quint32 rgbFromBgr(quint32 bgr)
{
    return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}
