// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <map>

// A listening socket that does not accept on its own: each incoming
// connection is parked under an id (as a bare descriptor, so nothing is read
// from it yet) until the control takes it or drops it. QTcpServer's own
// pending queue is not used, because QTcpServer::close() would delete it.
// Every connection the system completes is parked, also those still waiting
// in its queue when listening ends, so that none is reset unseen: a drop
// says whose it was.
class SocketServer : public QTcpServer
{
    Q_OBJECT
public:
    using QTcpServer::QTcpServer;
    ~SocketServer() override;

    bool isParked(qint32 id) const { return m_parked.count(id) > 0; }
    // The parked connection's peer ("address:port"); empty when `id` is not
    // parked.
    QString peer(qint32 id) const
    {
        const auto at = m_parked.find(id);
        return at == m_parked.end() ? QString() : at->second.peer;
    }
    // Hands the parked connection's descriptor over to the caller; -1 when
    // `id` is not parked.
    qintptr take(qint32 id);
    // Closes a parked connection (its client sees the connection end), and
    // gives its peer ("address:port"); empty when `id` is not parked.
    QString drop(qint32 id);
    // The same for all but `keep`, in the order they came.
    QStringList dropAllExcept(const QList<qint32> &keep);
    // Stops listening, parking first what the system completed and has not
    // handed over yet (closing the listener would reset it).
    void stopListening();

    // "address:port" of a connected socket's other end, an IPv6 address in
    // brackets; empty when the system cannot say.
    static QString peerOf(qintptr descriptor);

signals:
    void requestParked(qint32 id);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Parked
    {
        qintptr descriptor;
        QString peer;
    };
    qint32 park(qintptr descriptor);

    // By id, which rises with each arrival (after a wrap, a little out of
    // order for the one session that long).
    std::map<qint32, Parked> m_parked;
    qint32 m_lastId = 0;
};
