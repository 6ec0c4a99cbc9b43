// SPDX-License-Identifier: MIT
#include "clock.h"

#include <algorithm>
#include <cmath>

namespace {
Clock *g_installed = nullptr;
}

Clock::Clock()
{
    m_elapsed.start();
}

qint64 Clock::nowMs() const
{
    return m_elapsed.elapsed();
}

int Clock::realMs(qint64 clockMs) const
{
    return int(std::clamp<qint64>(clockMs, 0, std::numeric_limits<int>::max()));
}

Clock &Clock::current()
{
    static Clock real;
    return g_installed ? *g_installed : real;
}

void Clock::install(Clock *clock)
{
    g_installed = clock;
}

qint64 ScaledClock::nowMs() const
{
    return qint64(double(Clock::nowMs()) * m_factor);
}

int ScaledClock::realMs(qint64 clockMs) const
{
    if (clockMs <= 0)
        return 0;
    const double real = std::ceil(double(clockMs) / m_factor);
    return int(std::min(real, double(std::numeric_limits<int>::max())));
}
