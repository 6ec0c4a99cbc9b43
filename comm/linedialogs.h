// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QSpinBox;

// The speed list's "其他速率…": any whole rate, typed or picked from the
// rates today's adapters run at.
class SpeedDialog : public QDialog
{
    Q_OBJECT
public:
    static const QList<qint32> kHigherRates;

    SpeedDialog(qint32 current, QWidget *parent);

    // The rate typed or picked; 0 while the box holds no whole rate.
    qint32 rate() const;

    QComboBox *RateBox;

private:
    QDialogButtonBox *m_buttons;
};

// How long a DTR pulse holds the line low, and a break holds it at space.
class LineTimingDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kLeastMs = 1;
    static constexpr int kMostMs = 10000;

    LineTimingDialog(int pulseMs, int breakMs, QWidget *parent);

    int pulseMs() const;
    int breakMs() const;

    QSpinBox *PulseBox;
    QSpinBox *BreakBox;
};

class QLineEdit;

// The port menu's "其他设备…": any device path to bind the port to (a
// pseudo-terminal, a name udev made).
class DevicePathDialog : public QDialog
{
    Q_OBJECT
public:
    DevicePathDialog(const QString &port, const QString &current, QWidget *parent);

    QString path() const;

    QLineEdit *PathBox;
};

// A rate as the speed box reads it: a whole number of bits per second from
// 1 up; 0 for anything else.
qint32 rateFromText(const QString &text);
