// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>
#include <cmath>

// The window layouts are given in twips; 15 twips make one pixel at 96 dpi,
// and Qt scales logical pixels for high-dpi screens.
constexpr int tw(int twips)
{
    return (twips + 7) / 15;
}

inline QRect twRect(int left, int top, int width, int height)
{
    return QRect(tw(left), tw(top), tw(width), tw(height));
}

class QWidget;

// The twip layout was drawn for a smaller face than today's desktops use:
// let a captioned control grow to show its caption whole, its height about
// its centre and its width up to `maxWidthPx` (rightwards, or leftwards for a
// label that ends at its selector).
void growToCaption(QWidget *control, int maxWidthPx, bool growLeft = false);
