// SPDX-License-Identifier: MIT
#include "socketserver.h"

#include <limits>

#include <unistd.h>

SocketServer::~SocketServer()
{
    dropAllExcept({});
}

qintptr SocketServer::take(qint32 id)
{
    const auto it = m_parked.constFind(id);
    if (it == m_parked.constEnd())
        return -1;
    const qintptr descriptor = it.value();
    m_parked.erase(it);
    return descriptor;
}

void SocketServer::drop(qint32 id)
{
    const auto it = m_parked.constFind(id);
    if (it == m_parked.constEnd())
        return;
    ::close(int(it.value()));
    m_parked.erase(it);
}

void SocketServer::dropAllExcept(const QList<qint32> &keep)
{
    for (auto it = m_parked.begin(); it != m_parked.end();) {
        if (keep.contains(it.key())) {
            ++it;
            continue;
        }
        ::close(int(it.value()));
        it = m_parked.erase(it);
    }
}

void SocketServer::incomingConnection(qintptr descriptor)
{
    // Ids stay positive and unique among the parked ones, also after the
    // counter wraps in a very long session.
    do {
        m_lastId = m_lastId == std::numeric_limits<qint32>::max() ? 1 : m_lastId + 1;
    } while (m_parked.contains(m_lastId));
    m_parked.insert(m_lastId, descriptor);
    emit requestParked(m_lastId);
}
