// SPDX-License-Identifier: MIT
#pragma once

#include "clock.h"

#include <algorithm>

// A clock that never moves: a pause on it ends only when something ends it,
// so a test that passes under it proves the pause was cut short.
class FrozenClock : public Clock
{
public:
    qint64 nowMs() const override { return 0; }
    int realMs(qint64 clockMs) const override { return int(std::min<qint64>(clockMs, 1000)); }
};
