// SPDX-License-Identifier: MIT
#pragma once

#include <QMetaObject>
#include <QObject>

// Work queued onto an object's thread for one stretch of a link's life (a
// port while it is open, a connection). Moving on to the next generation (a
// close) drops whatever is still queued for the one before, so no event of
// a link that has ended is raised after the end.
class Generation
{
public:
    // Everything queued so far is dropped when it comes up.
    void advance() { ++m_current; }

    // Runs `work` later on `receiver`'s thread, unless advance() came first
    // (or `receiver` is gone). `receiver` owns this generation.
    template<typename Work>
    void post(QObject *receiver, Work work)
    {
        const quint64 at = m_current;
        QMetaObject::invokeMethod(receiver, [this, at, work = std::move(work)] {
            if (at == m_current)
                work();
        }, Qt::QueuedConnection);
    }

private:
    quint64 m_current = 0;
};
