// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

// How received data is cut into entries (the log menu's "接收分帧…"): the
// silence that ends a frame, 0 for the one-second collection, and whether
// stamps carry milliseconds.
class FrameDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMostGapMs = 1000;

    FrameDialog(int gapMs, bool msStamps, QWidget *parent);

    int gapMs() const;
    bool msStamps() const;

    QSpinBox *GapBox;
    QCheckBox *ChkMs;
};
