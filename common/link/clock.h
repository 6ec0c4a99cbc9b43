// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The one source of elapsed time for pauses, lamp timers and time limits.
// It is steady: wall-clock changes, midnight and daylight saving do not move
// it. Tests install a faster clock so that seconds pass in milliseconds.
class Clock
{
public:
    Clock();
    virtual ~Clock() = default;

    // Milliseconds of this clock since an arbitrary fixed origin.
    virtual qint64 nowMs() const;
    // How many real milliseconds a timer must run for `clockMs` of this clock
    // to pass (at least 0).
    virtual int realMs(qint64 clockMs) const;

    static Clock &current();
    // Installs `clock` (not owned) as the current clock; nullptr restores the
    // real one.
    static void install(Clock *clock);

private:
    QElapsedTimer m_elapsed;
};

// A clock that runs `factor` times faster than real time. For tests.
class ScaledClock : public Clock
{
public:
    explicit ScaledClock(double factor) : m_factor(factor) {}
    qint64 nowMs() const override;
    int realMs(qint64 clockMs) const override;

private:
    double m_factor;
};
