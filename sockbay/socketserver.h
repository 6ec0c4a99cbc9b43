// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QList>
#include <QTcpServer>

// A listening socket that does not accept on its own: each incoming
// connection is parked under an id (as a bare descriptor, so nothing is read
// from it yet) until the control takes it or drops it. QTcpServer's own
// pending queue is not used, because QTcpServer::close() would delete it.
class SocketServer : public QTcpServer
{
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
    ~SocketServer() override;

    bool isParked(qint32 id) const { return m_parked.contains(id); }
    // Hands the parked connection's descriptor over to the caller; -1 when
    // `id` is not parked.
    qintptr take(qint32 id);
    // Closes a parked connection: its client sees the connection end.
    void drop(qint32 id);
    void dropAllExcept(const QList<qint32> &keep);

signals:
    void requestParked(qint32 id);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QHash<qint32, qintptr> m_parked;
    qint32 m_lastId = 0;
};
