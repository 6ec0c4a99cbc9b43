// SPDX-License-Identifier: MIT
#include "pause.h"

#include "clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

void Wait(double times)
{
    Pause().wait(times);
}

void Pause::wait(double times)
{
    Clock &clock = Clock::current();
    const qint64 start = clock.nowMs();
    m_ended = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!(times > 0) || m_ended) // also NaN
        return;

    // A year is more than any caller asks for; the cap keeps the sum finite.
    const double ms = std::min(times * 1000.0, 86400.0 * 1000.0 * 365.0);
    const qint64 end = start + qint64(std::ceil(ms));

    // Sleep in the event loop instead of spinning: the thread wakes for each
    // event and for the end time, measured on the steady clock.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QEventLoop *outer = std::exchange(m_loop, &loop);
    for (qint64 now = clock.nowMs(); now < end && !m_ended; now = clock.nowMs()) {
        timer.start(std::max(1, clock.realMs(end - now)));
        if (loop.exec() != 0)
            break; // the application is quitting
    }
    m_loop = outer;
}

void Pause::end()
{
    m_ended = true;
    if (m_loop)
        m_loop->quit();
}
