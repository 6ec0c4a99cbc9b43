// SPDX-License-Identifier: MIT
#pragma once

#include "linkerror.h"
#include "pollhook.h"
#include "winsock.h"

#include <QMetaObject>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <utility>

// A socket control under the test's hand: it records what the window called,
// in order, holds a receive buffer the test fills, fails on request, and
// raises its events queued, as the real one does.
class FakeWinsock : public Winsock
{
    Q_OBJECT
public:
    using Winsock::Winsock;

    // What the window called, in order: "Close", "LocalPort 123",
    // "Connect host port", "Listen", "Accept 42".
    QStringList calls;
    qint32 localPort = 0;
    QList<QByteArray> sent; // one element per hand-over
    QList<bool> sentAsText;

    // What the test sets.
    int state = sckClosed;
    QByteArray inBuffer;
    QByteArray held; // past the bound: only takeEverything() takes it
    int stateAfterConnect = sckConnecting;
    int stateAfterListen = sckListening;
    qint32 portPickedBySystem = 0; // what a listen on port 0 gets
    int stateAfterAccept = sckConnected;
    QString failConnectWith; // non-empty: the call throws this description
    QString failListenWith;
    QString failLocalPortWith;
    QString failAcceptWith;
    QString failSendWith;
    QString failGetDataWith; // GetDataBytes() throws it
    std::function<void()> onConnect; // run inside Connect(), after the state is set
    PollHook onPoll; // run once, at the next BytesReceived()
    qint64 readBufferSize = 2 << 20;
    qint64 unsentBytes = 0; // what has not reached the peer yet
    qint64 writeBufferSize = 1 << 20;
    QHash<qint32, QString> requestPeers; // RequestPeer() of each request
    QString remotePeer;                  // RemotePeer() while connected
    QList<QPointer<FakeWinsock>> accepted; // what AcceptNew() made, in order

    // Queue an event, delivered by the event loop.
    void raiseConnectionRequest(qint32 id)
    {
        queue([this, id] { emit ConnectionRequest(id); });
    }
    void raiseDataArrival()
    {
        queue([this] { emit DataArrival(inBuffer.size()); });
    }
    void raiseClose()
    {
        queue([this] { emit CloseEvent(); });
    }
    void raiseSendsLost(qint64 bytes)
    {
        queue([this, bytes] { emit sendsLost(bytes); });
    }
    void raiseRequestRefused(const QString &peer)
    {
        queue([this, peer] { emit requestRefused(peer); });
    }
    void raiseError(int number, const QString &description)
    {
        queue([this, number, description] { emit Error(number, description); });
    }

    QString LocalIP() const override { return QStringLiteral("10.1.2.3"); }
    QString LocalHostName() const override { return QStringLiteral("fakehost"); }
    void setLocalPort(qint32 port) override
    {
        if (!failLocalPortWith.isEmpty())
            throw LinkError(failLocalPortWith);
        calls << QStringLiteral("LocalPort %1").arg(port);
        localPort = port;
    }
    qint32 LocalPort() const override { return localPort; }
    int State() const override { return state; }
    qint64 holdsAtMost() const override { return readBufferSize; }
    qint64 unsent() const override { return unsentBytes; }
    qint64 sendsAtMost() const override { return writeBufferSize; }
    qint64 BytesReceived() const override
    {
        onPoll.fire();
        return inBuffer.size();
    }
    void Connect(const QString &host, const QString &port) override
    {
        calls << QStringLiteral("Connect %1 %2").arg(host, port);
        if (!failConnectWith.isEmpty())
            throw LinkError(failConnectWith);
        state = stateAfterConnect;
        if (onConnect)
            onConnect();
    }
    void Listen() override
    {
        calls << QStringLiteral("Listen");
        if (!failListenWith.isEmpty())
            throw LinkError(failListenWith);
        state = stateAfterListen;
        if (localPort == 0)
            localPort = portPickedBySystem;
    }
    void Accept(qint32 id) override
    {
        calls << QStringLiteral("Accept %1").arg(id);
        if (!failAcceptWith.isEmpty())
            throw LinkError(failAcceptWith);
        state = stateAfterAccept;
    }
    Winsock *AcceptNew(qint32 id) override
    {
        calls << QStringLiteral("AcceptNew %1").arg(id);
        if (!failAcceptWith.isEmpty())
            throw LinkError(failAcceptWith);
        auto *client = new FakeWinsock;
        client->state = sckConnected;
        client->remotePeer = requestPeers.value(id);
        accepted.append(client);
        return client;
    }
    QString RequestPeer(qint32 id) const override { return requestPeers.value(id); }
    QString RemotePeer() const override { return state == sckConnected ? remotePeer : QString(); }
    void Close() noexcept override
    {
        calls << QStringLiteral("Close");
        state = sckClosed;
        inBuffer.clear();
    }
    void SendData(const QString &text) override { send(text.toUtf8(), true); }
    void SendData(const QByteArray &bytes) override { send(bytes, false); }
    QByteArray GetDataBytes() override { return take(); }
    // As the real one, it never throws.
    QByteArray takeEverything() override
    {
        return std::exchange(inBuffer, QByteArray()) + std::exchange(held, QByteArray());
    }

private:
    template<typename F>
    void queue(F f)
    {
        QMetaObject::invokeMethod(this, f, Qt::QueuedConnection);
    }
    QByteArray take()
    {
        if (!failGetDataWith.isEmpty())
            throw LinkError(failGetDataWith);
        QByteArray all = inBuffer;
        inBuffer.clear();
        return all;
    }
    void send(const QByteArray &bytes, bool asText)
    {
        if (!failSendWith.isEmpty())
            throw LinkError(failSendWith);
        sent << bytes;
        sentAsText << asText;
    }
};
