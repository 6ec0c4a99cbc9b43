// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// The system's view of a TCP connection, read from a descriptor of its
// socket.
namespace TcpState {

struct Reading
{
    // The connection is gone (the peer reset it, or it was cut off).
    bool closed = false;
    // Data bytes the peer has acknowledged since the connection began.
    qint64 acked = 0;
};

// False when the system cannot say (not a TCP socket).
bool read(int descriptor, Reading *reading);

} // namespace TcpState
