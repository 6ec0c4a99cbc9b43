// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// A TCP peer on loopback that never reads, a plain socket so that not even
// Qt takes anything from the system for it. What its system received (and
// acknowledged) stays countable, also after a reset.
class DeafPeer
{
public:
    DeafPeer() = default;
    DeafPeer(const DeafPeer &) = delete;
    DeafPeer &operator=(const DeafPeer &) = delete;
    ~DeafPeer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Connects to 127.0.0.1:`port`; a small `receiveBuffer` makes what the
    // systems hold fill sooner.
    bool connectTo(quint16 port, int receiveBuffer = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(m_fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0;
    }
    // What its system holds for it (-1 when it cannot say).
    qint64 received() const
    {
        int bytes = -1;
        return ::ioctl(m_fd, FIONREAD, &bytes) == 0 ? qint64(bytes) : qint64(-1);
    }
    // Ends the connection with a reset: what its system held is gone too.
    void reset()
    {
        const linger cut{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &cut, sizeof cut);
        ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};
