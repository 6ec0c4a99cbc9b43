// SPDX-License-Identifier: MIT
#include "socketserver.h"

#include "syserror.h"

#include <QHostAddress>

#include <limits>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SocketServer::~SocketServer()
{
    for (const auto &[id, parked] : m_parked)
        ::close(int(parked.descriptor));
}

qintptr SocketServer::take(qint32 id)
{
    const auto it = m_parked.find(id);
    if (it == m_parked.end())
        return -1;
    const qintptr descriptor = it->second.descriptor;
    m_parked.erase(it);
    return descriptor;
}

QString SocketServer::drop(qint32 id)
{
    const auto it = m_parked.find(id);
    if (it == m_parked.end())
        return QString();
    const QString peer = it->second.peer;
    ::close(int(it->second.descriptor));
    m_parked.erase(it);
    return peer;
}

QStringList SocketServer::dropAllExcept(const QList<qint32> &keep)
{
    QStringList dropped;
    for (auto it = m_parked.begin(); it != m_parked.end();) {
        if (keep.contains(it->first)) {
            ++it;
            continue;
        }
        dropped << it->second.peer;
        ::close(int(it->second.descriptor));
        it = m_parked.erase(it);
    }
    return dropped;
}

void SocketServer::stopListening()
{
    if (isListening()) {
        for (;;) {
            const int descriptor = retryOnInterrupt([this] {
                return ::accept4(int(socketDescriptor()), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            });
            if (descriptor < 0)
                break; // none waiting (or none that can be had)
            park(descriptor);
        }
    }
    close();
}

QString SocketServer::peerOf(qintptr descriptor)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return QString();
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&address));
    const quint16 port = host.protocol() == QAbstractSocket::IPv6Protocol
        ? ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port)
        : ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    // A dual-stack listener sees IPv4 clients as mapped IPv6 addresses.
    bool isIPv4 = false;
    const quint32 v4 = host.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(v4).toString() + u':' + QString::number(port);
    return u'[' + host.toString() + QStringLiteral("]:") + QString::number(port);
}

qint32 SocketServer::park(qintptr descriptor)
{
    // Ids stay positive and unique among the parked ones, also after the
    // counter wraps in a very long session.
    do {
        m_lastId = m_lastId == std::numeric_limits<qint32>::max() ? 1 : m_lastId + 1;
    } while (m_parked.count(m_lastId) > 0);
    // (A client that is gone already has no address to give.)
    const QString peer = peerOf(descriptor);
    m_parked.emplace(m_lastId, Parked{descriptor, peer.isEmpty() ? QStringLiteral("?") : peer});
    return m_lastId;
}

void SocketServer::incomingConnection(qintptr descriptor)
{
    emit requestParked(park(descriptor));
}
