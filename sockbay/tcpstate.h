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
    // Sequence the peer has acknowledged since the connection began: its
    // data, and one for the opening of an outgoing connection and one for
    // the end once acknowledged (see dataAcked()).
    qint64 acked = 0;
};

// False when the system cannot say (not a TCP socket).
bool read(int descriptor, Reading *reading);

// Of `handedOver` bytes, those not acknowledged yet, by a reading and the
// acknowledged count read when the connection began.
inline qint64 unacknowledged(qint64 handedOver, const Reading &now, qint64 ackedAtStart)
{
    // An acknowledged end comes after all the data: nothing is left then.
    return qMax<qint64>(0, handedOver - (now.acked - ackedAtStart));
}

} // namespace TcpState
