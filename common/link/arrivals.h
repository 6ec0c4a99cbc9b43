// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <deque>
#include <vector>

// When the part of a taken run of bytes that ends at `end` (a count from
// the run's start) came: on the steady Clock, and on the wall clock (ms
// since the epoch).
struct Arrival
{
    qint64 end;
    qint64 clockMs;
    qint64 wallMs;
};

// When a link's received bytes came. The control marks each read from the
// system (arrived()) as it makes it, however late the window takes the
// bytes; whoever takes bytes from the link takes their marks with them
// (take()), so a frame's stamp is when it came, not when it was read out.
// Marks within one millisecond are one. Bytes taken that no read marked
// (what a close drains from the system) count as come when taken.
class ArrivalMarks
{
public:
    // A read from the system has just left `waiting` bytes waiting in all.
    void arrived(qint64 waiting);
    // The next `n` bytes were taken: their marks, ends counted from the
    // first of them, the last at `n`.
    std::vector<Arrival> take(qint64 n);
    // The link was opened or closed: what waited is gone.
    void clear();

private:
    struct Mark
    {
        qint64 end; // in the stream since clear()
        qint64 clockMs;
        qint64 wallMs;
    };
    std::deque<Mark> m_marks;
    qint64 m_taken = 0; // bytes of the stream taken since clear()
};
