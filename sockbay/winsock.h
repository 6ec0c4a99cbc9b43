// SPDX-License-Identifier: MIT
#pragma once

#include "link.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The socket control the network tester drives (Winsock1), TCP only. One
// control carries, one at a time, the outgoing connection, the listening
// socket and the accepted connection. Operations that can fail throw
// LinkError with the platform's description; Close() never throws and never
// raises CloseEvent.
//
// Events are always delivered queued, on the window's thread.
class Winsock : public QObject, public Link
{
    Q_OBJECT
public:
    enum : int {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    using QObject::QObject;

    // The first non-loopback IPv4 address of an interface that is up, else
    // 127.0.0.1; the machine's name.
    virtual QString LocalIP() const = 0;
    virtual QString LocalHostName() const = 0;

    virtual void setLocalPort(qint32 port) = 0;
    virtual qint32 LocalPort() const = 0;

    // While a connect is resolving or under way the state is sckConnecting.
    virtual int State() const = 0;
    virtual qint64 BytesReceived() const = 0;

    // Returns at once; a bad argument throws at once.
    virtual void Connect(const QString &remoteHost, const QString &remotePort) = 0;
    // Listens on all interfaces at LocalPort.
    virtual void Listen() = 0;
    // Takes the parked request `requestID` onto this control.
    virtual void Accept(qint32 requestID) = 0;
    // Takes the parked request `requestID` onto a new control of the same
    // kind, connected, which the caller owns; this control goes on
    // listening (a server of several clients at once).
    virtual Winsock *AcceptNew(qint32 requestID) = 0;
    // Who is on the other end, "address:port" (an IPv6 address in
    // brackets): of the parked request `requestID`, and of the connection
    // this control carries. Empty when there is none or the system cannot
    // say.
    virtual QString RequestPeer(qint32 requestID) const = 0;
    virtual QString RemotePeer() const = 0;
    virtual void Close() noexcept = 0;

    virtual void SendData(const QString &text) = 0;
    virtual void SendData(const QByteArray &bytes) = 0;
    // GetData: all bytes waiting, as they came (the window decodes text
    // itself, since a character may span two reads). What a connection
    // delivered before it ended stays readable until Close().
    virtual QByteArray GetDataBytes() = 0;

    // The shared flows' view of the control: a connection carries data.
    // (holdsAtMost(), the bound of what a connection holds unread, and
    // takeEverything(), what a hang-up must not lose, are the control's
    // own.)
    bool linkUp() const final { return State() == sckConnected; }
    qint64 waiting() const final { return BytesReceived(); }
    QByteArray takeWaiting() final { return GetDataBytes(); }
    void handOverText(const QString &text) final { SendData(text); }
    void handOverBytes(const QByteArray &bytes) final { SendData(bytes); }

signals:
    void ConnectionRequest(qint32 requestID);
    void DataArrival(qint64 bytesTotal);
    // The control's Close event: the peer ended the connection.
    void CloseEvent();
    void Error(int number, const QString &description);
    void SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    // A connection the system completed while listening was closed unserved
    // (the control was busy with another, or stopped listening): its peer,
    // "address:port".
    void requestRefused(const QString &peer);
    // A hung-up connection was cut off before the peer took all it was
    // handed: `bytes` never arrived. Raised whenever that comes to pass.
    void sendsLost(qint64 bytes);
};
