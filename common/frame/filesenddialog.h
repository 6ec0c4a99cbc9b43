// SPDX-License-Identifier: MIT
#pragma once

#include "filesend.h"

#include <QDialog>

class QRadioButton;
class QSpinBox;

// Before a file goes out: what it is, and whether to pause after every
// byte or every line (a device that takes its input slowly).
class FileSendDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMostDelayMs = 10000;

    FileSendDialog(const QString &path, qint64 size, QWidget *parent);

    FileSend::Pace pace() const;
    int delayMs() const;

    QSpinBox *DelayBox;
    QRadioButton *OptPerByte;
    QRadioButton *OptPerLine;
};
