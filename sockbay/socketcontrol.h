// SPDX-License-Identifier: MIT
#pragma once

#include "generation.h"
#include "problem.h"
#include "winsock.h"

#include <QAbstractSocket>
#include <QList>

class QTcpSocket;
class SocketServer;

// The network tester's socket control over Qt Network, TCP only. One control
// carries, one at a time, an outgoing connection, a listening socket or an
// accepted connection.
//
// Every event is queued onto the control's thread; none is raised from
// inside a call the window made. Close() starts a new generation, so an
// event queued for a connection that Close() has since dropped is not raised.
class SocketControl : public Winsock
{
    Q_OBJECT
public:
    // The window reads everything waiting once per settle pause (about a
    // second), so this bound sets the top rate a stream is logged at and the
    // size of the largest log entry; a faster sender is held back by TCP
    // flow control instead of filling memory. Measured on loopback: 2 MiB
    // logs about 1.9 MiB/s with the window at most ~0.1 s late and memory
    // under twice the log's text; 4 MiB doubles the rate at the same
    // lateness, but on shorter streams memory nears three times the log.
    static constexpr qint64 kReadBufferBytes = 2 * 1024 * 1024;
    // What a connection holds to send beyond what the system takes: a send
    // that would go past it is refused, so that a peer that takes nothing
    // shows at once instead of filling memory.
    static constexpr qint64 kWriteBufferBytes = 1024 * 1024;

    explicit SocketControl(QObject *parent = nullptr);
    ~SocketControl() override;

    QString LocalIP() const override;
    QString LocalHostName() const override;

    void setLocalPort(qint32 port) override;
    qint32 LocalPort() const override;

    int State() const override;
    qint64 BytesReceived() const override;
    qint64 holdsAtMost() const override;

    void Connect(const QString &remoteHost, const QString &remotePort) override;
    void Listen() override;
    void Accept(qint32 requestID) override;
    Winsock *AcceptNew(qint32 requestID) override;
    QString RequestPeer(qint32 requestID) const override;
    QString RemotePeer() const override;
    void Close() noexcept override;

    void SendData(const QString &text) override;
    void SendData(const QByteArray &bytes) override;
    QByteArray GetDataBytes() override;
    QByteArray takeEverything() override;
    qint64 unsent() const override;
    qint64 sendsAtMost() const override { return kWriteBufferBytes; }

    // The bound applied to connections made after the call. For tests and
    // benchmarks that compare bounds.
    void setReadBufferLimit(qint64 bytes) { m_readBufferLimit = bytes; }
    // How long a hung-up connection may take to deliver (10 s). For tests.
    void setLingerLimit(int ms) { m_lingerMs = ms; }

private:
    // Runs `event` later on this control's thread, unless Close() came first.
    template<typename Event>
    void post(Event event) { m_generation.post(this, std::move(event)); }

    QTcpSocket *newSocket();
    // Carries the connection of `descriptor` (taken from a listener).
    void adopt(qintptr descriptor);
    // A new socket connecting to the remote host and port of Connect(),
    // unless it cannot even start.
    Problem startConnecting();
    void connectTimedOut();
    void requireClosed() const;
    void releaseSocket() noexcept;

    void onRequestParked(qint32 id);
    void offerRequest(qint32 id);
    void onConnected();
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void onPeerClosed();
    void onSocketError(QAbstractSocket::SocketError error);
    // The connection ended (peer's close or reset, or an error): keeps what
    // it delivered and raises CloseEvent or Error, once.
    void connectionEnded(QAbstractSocket::SocketError error, const QString &description);

    // Bytes handed to the current connection, all told, and the system's
    // acknowledged count when it began.
    qint64 m_handedOver = 0;
    qint64 m_ackedAtStart = 0;

    // Telling the peer's reset from its close (see watchForReset()).
    void watchForReset();
    bool endedByReset();
    void closeProbe() noexcept;

    SocketServer *m_server;
    QTcpSocket *m_socket = nullptr;
    int m_state = sckClosed;
    qint32 m_localPort = 0;
    qint64 m_readBufferLimit = kReadBufferBytes;
    int m_lingerMs;
    Generation m_generation;

    // Requests whose ConnectionRequest is being raised right now (a nested
    // event loop could offer more than one).
    QList<qint32> m_offering;

    // At most one of each of these queued and not yet raised; an error or
    // the peer's close is raised once per connection.
    bool m_arrivalQueued = false;
    bool m_progressQueued = false;
    qint64 m_progressBytes = 0;
    bool m_endQueued = false;

    QString m_remoteHost;
    quint16 m_remotePort = 0;
    // What the connection delivered that Qt no longer holds, kept after its
    // end until read.
    QByteArray m_leftover;
    // A second descriptor of the connection's socket, or -1.
    int m_probe = -1;
};
