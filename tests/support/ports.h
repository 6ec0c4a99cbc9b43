// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback port that nothing listens on right now (0 if none could be
// had): the one the system picks for a listener closed again at once.
inline quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}
