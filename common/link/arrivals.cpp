// SPDX-License-Identifier: MIT
#include "arrivals.h"

#include "clock.h"

#include <QDateTime>

void ArrivalMarks::arrived(qint64 waiting)
{
    const qint64 end = m_taken + waiting;
    if (!m_marks.empty() && end <= m_marks.back().end)
        return;
    const qint64 now = Clock::current().nowMs();
    if (!m_marks.empty() && m_marks.back().clockMs == now) {
        m_marks.back().end = end;
        return;
    }
    m_marks.push_back(Mark{end, now, QDateTime::currentMSecsSinceEpoch()});
}

std::vector<Arrival> ArrivalMarks::take(qint64 n)
{
    std::vector<Arrival> out;
    if (n <= 0)
        return out;
    const qint64 from = m_taken;
    m_taken += n;
    while (!m_marks.empty() && m_marks.front().end <= m_taken) {
        const Mark &mark = m_marks.front();
        if (mark.end > from)
            out.push_back(Arrival{mark.end - from, mark.clockMs, mark.wallMs});
        m_marks.pop_front();
    }
    if (out.empty() || out.back().end < n) {
        // A read taken in part ends the take at its time; bytes no read
        // marked came by now.
        const bool partRead = !m_marks.empty();
        out.push_back(partRead ? Arrival{n, m_marks.front().clockMs, m_marks.front().wallMs}
                               : Arrival{n, Clock::current().nowMs(), QDateTime::currentMSecsSinceEpoch()});
    }
    return out;
}

void ArrivalMarks::clear()
{
    m_marks.clear();
    m_taken = 0;
}
