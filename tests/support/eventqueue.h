// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// Delivers every event already on its way, and those they queue in turn,
// without letting time pass: a check after it sees whatever a queued event
// would still have done. Timers not yet due stay pending.
inline void deliverQueuedEvents()
{
    // A round delivers only what was queued before it began; stop at the
    // first round that finds nothing (the cap guards against a handler that
    // queues itself again).
    struct Counter : QObject
    {
        int seen = 0;
        bool eventFilter(QObject *, QEvent *) override
        {
            ++seen;
            return false;
        }
    } counter;
    QCoreApplication::instance()->installEventFilter(&counter);
    for (int round = 0; round < 100; ++round) {
        const int before = counter.seen;
        QCoreApplication::processEvents();
        if (counter.seen == before)
            break;
    }
    QCoreApplication::instance()->removeEventFilter(&counter);
}
