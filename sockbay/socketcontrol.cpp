// SPDX-License-Identifier: MIT
#include "socketcontrol.h"

#include "linkerror.h"
#include "socketserver.h"
#include "syserror.h"
#include "tcpstate.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <functional>
#include <utility>

#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *const kInvalidArgument = "Invalid argument";
const char *const kNotClosed = "The socket is in use; close it first";
const char *const kNotConnected = "Socket is not connected";
const char *const kNoSuchRequest = "No such connection request";

// How long a hung-up connection may take to hand its last bytes to a peer
// before it is cut off, and how often it looks whether they arrived.
constexpr int kLingerMs = 10000;
constexpr int kLingerPollMs = 20;

// A hung-up connection given the time to deliver what it was handed: Qt
// writes out what it holds and lets go of its descriptor; the end is then
// sent after the data on the second descriptor the control kept, and once
// the peer has acknowledged every byte the socket goes. Past the limit it
// is cut off, and what never arrived is told of. A child of the socket:
// it goes with it, and closes that descriptor.
class Lingering : public QObject
{
public:
    Lingering(QTcpSocket *socket, int probe, qint64 handedOver, qint64 ackedAtStart, int limitMs,
              std::function<void(qint64)> lost)
        : QObject(socket), m_socket(socket), m_probe(probe), m_handedOver(handedOver), m_ackedAtStart(ackedAtStart),
          m_limitMs(limitMs), m_lost(std::move(lost))
    {
        m_since.start();
        connect(socket, &QAbstractSocket::disconnected, this, [this] {
            m_released = true;
            if (m_probe >= 0)
                ::shutdown(m_probe, SHUT_WR);
            look();
        });
        connect(&m_poll, &QTimer::timeout, this, &Lingering::look);
        m_poll.start(kLingerPollMs);
        socket->disconnectFromHost();
    }
    ~Lingering() override
    {
        if (m_probe >= 0)
            ::close(m_probe);
    }

private:
    void look()
    {
        TcpState::Reading now;
        const bool known = TcpState::read(m_probe, &now);
        const qint64 pending =
            known ? TcpState::unacknowledged(m_handedOver, now, m_ackedAtStart) : m_socket->bytesToWrite();
        if (m_released && (!known || now.closed || pending <= 0)) {
            // Delivered, or reset by the peer meanwhile: then what it had
            // not acknowledged is lost.
            finish(known && now.closed ? pending : 0);
            return;
        }
        if (m_since.elapsed() < m_limitMs)
            return;
        // Cut off: a reset, not an end the peer could take for a whole
        // message.
        if (m_probe >= 0) {
            const linger cut{1, 0};
            ::setsockopt(m_probe, SOL_SOCKET, SO_LINGER, &cut, sizeof cut);
        }
        m_socket->abort();
        finish(pending);
    }
    void finish(qint64 lost)
    {
        m_poll.stop();
        if (lost > 0)
            m_lost(lost);
        m_socket->deleteLater();
    }

    QTcpSocket *m_socket;
    int m_probe;
    qint64 m_handedOver;
    qint64 m_ackedAtStart;
    int m_limitMs;
    std::function<void(qint64)> m_lost;
    QTimer m_poll;
    QElapsedTimer m_since;
    bool m_released = false;
};

// The port arrives as the text of a box: any number, such as "1.5" (taken
// as 2) or "9E+99" (out of range), as long as it names a TCP port.
quint16 parseRemotePort(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw LinkError(QString::fromLatin1(kInvalidArgument));
    const double rounded = std::nearbyint(value);
    if (rounded < 1 || rounded > 65535)
        throw LinkError(QString::fromLatin1(kInvalidArgument));
    return quint16(rounded);
}

} // namespace

SocketControl::SocketControl(QObject *parent) : Winsock(parent), m_server(new SocketServer(this)), m_lingerMs(kLingerMs)
{
    connect(m_server, &SocketServer::requestParked, this, &SocketControl::onRequestParked);
}

SocketControl::~SocketControl()
{
    closeProbe();
    if (m_socket)
        m_socket->disconnect(this);
}

QString SocketControl::LocalIP() const
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
                return address.toString();
        }
    }
    return QStringLiteral("127.0.0.1");
}

QString SocketControl::LocalHostName() const
{
    return QHostInfo::localHostName();
}

void SocketControl::setLocalPort(qint32 port)
{
    if (port < 0 || port > 65535)
        throw LinkError(QString::fromLatin1(kInvalidArgument));
    m_localPort = port;
}

qint32 SocketControl::LocalPort() const
{
    return m_localPort;
}

int SocketControl::State() const
{
    return m_state;
}

qint64 SocketControl::BytesReceived() const
{
    return m_leftover.size() + (m_socket ? m_socket->bytesAvailable() : 0);
}

qint64 SocketControl::holdsAtMost() const
{
    return m_socket ? m_socket->readBufferSize() : m_readBufferLimit;
}

void SocketControl::requireClosed() const
{
    if (m_state != sckClosed)
        throw LinkError(QString::fromLatin1(kNotClosed));
}

QTcpSocket *SocketControl::newSocket()
{
    auto *socket = new QTcpSocket(this);
    socket->setReadBufferSize(m_readBufferLimit);
    m_handedOver = 0;
    arrivalMarks().clear();
    connect(socket, &QTcpSocket::connected, this, &SocketControl::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &SocketControl::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketControl::onBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &SocketControl::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketControl::onSocketError);
    m_socket = socket;
    return socket;
}

void SocketControl::Connect(const QString &remoteHost, const QString &remotePort)
{
    requireClosed();
    const quint16 port = parseRemotePort(remotePort);
    QString host = remoteHost.trimmed();
    // An IPv6 address may come in brackets, as in a URL ("[::1]", with its
    // "%scope" kept).
    if (host.size() > 2 && host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        throw LinkError(QString::fromLatin1(kInvalidArgument));
    m_remoteHost = host;
    m_remotePort = port;
    m_state = sckConnecting;
    if (const Problem problem = startConnecting()) {
        Close();
        throw LinkError(problem.description());
    }
}

Problem SocketControl::startConnecting()
{
    QTcpSocket *socket = newSocket();
    if (m_localPort != 0 && !socket->bind(QHostAddress::Any, quint16(m_localPort)))
        return Problem(socket->errorString());
    // Resolves a host name on Qt's lookup thread: the window stays live.
    socket->connectToHost(m_remoteHost, m_remotePort);
    return Problem();
}

void SocketControl::connectTimedOut()
{
    // Qt gives up an unanswered connect after a time of its own, which
    // races the caller's limit; the caller decides when to give up, so the
    // attempt simply starts again.
    post([this] {
        if (m_state != sckConnecting)
            return;
        releaseSocket();
        if (const Problem problem = startConnecting())
            connectionEnded(QAbstractSocket::UnknownSocketError, problem.description());
    });
}

void SocketControl::Listen()
{
    requireClosed();
    if (!m_server->listen(QHostAddress::Any, quint16(m_localPort))) {
        QString description = m_server->errorString();
        // The system's words say what, not why.
        if (m_server->serverError() == QAbstractSocket::SocketAccessError && m_localPort > 0 && m_localPort < 1024)
            description += QStringLiteral(": ports below 1024 are kept for the system's services; listen on one from "
                                          "1024 up, or give the program that right");
        Close();
        throw LinkError(description);
    }
    m_localPort = m_server->serverPort();
    m_state = sckListening;
}

void SocketControl::Accept(qint32 requestID)
{
    requireClosed();
    const qintptr descriptor = m_server->take(requestID);
    if (descriptor < 0)
        throw LinkError(QString::fromLatin1(kNoSuchRequest));
    adopt(descriptor);
}

Winsock *SocketControl::AcceptNew(qint32 requestID)
{
    const qintptr descriptor = m_server->take(requestID);
    if (descriptor < 0)
        throw LinkError(QString::fromLatin1(kNoSuchRequest));
    auto *control = new SocketControl;
    control->setReadBufferLimit(m_readBufferLimit);
    control->setLingerLimit(m_lingerMs);
    try {
        control->adopt(descriptor);
    } catch (...) {
        delete control;
        throw;
    }
    return control;
}

void SocketControl::adopt(qintptr descriptor)
{
    QTcpSocket *socket = newSocket();
    if (!socket->setSocketDescriptor(descriptor)) {
        const QString description = socket->errorString();
        ::close(int(descriptor));
        Close();
        throw LinkError(description);
    }
    watchForReset();
    m_state = sckConnected;
}

QString SocketControl::RequestPeer(qint32 requestID) const
{
    // (A client gone before it was parked leaves "?" for the refusal's line.)
    const QString peer = m_server->peer(requestID);
    return peer == u"?" ? QString() : peer;
}

QString SocketControl::RemotePeer() const
{
    return m_socket && m_state == sckConnected ? SocketServer::peerOf(m_socket->socketDescriptor()) : QString();
}

void SocketControl::Close() noexcept
{
    m_generation.advance();
    m_arrivalQueued = false;
    m_progressQueued = false;
    m_progressBytes = 0;
    m_endQueued = false;
    m_leftover = QByteArray();
    arrivalMarks().clear();
    m_server->stopListening();
    // The request being offered right now survives: the window's accept
    // handler closes the control and then accepts that very request. Every
    // other one is closed, and told of (in the new generation).
    const QStringList refused = m_server->dropAllExcept(m_offering);
    releaseSocket();
    m_state = sckClosed;
    for (const QString &peer : refused)
        post([this, peer] { emit requestRefused(peer); });
}

void SocketControl::releaseSocket() noexcept
{
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    if (!socket) {
        closeProbe();
        return;
    }
    socket->disconnect(this);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        // Ended by the peer or by a failure: what it was still to deliver
        // is dropped (the window has told of it, see unsent()).
        closeProbe();
        socket->abort();
        socket->deleteLater();
        return;
    }
    // What was handed over still reaches the peer after a hang-up, but a peer
    // that never takes it does not keep the socket alive for ever. What it
    // loses then is told of even after the control has moved on.
    new Lingering(socket, std::exchange(m_probe, -1), m_handedOver, m_ackedAtStart, m_lingerMs, [this](qint64 lost) {
        QMetaObject::invokeMethod(this, [this, lost] { emit sendsLost(lost); }, Qt::QueuedConnection);
    });
}

void SocketControl::SendData(const QString &text)
{
    SendData(text.toUtf8());
}

void SocketControl::SendData(const QByteArray &bytes)
{
    if (!m_socket || m_state != sckConnected)
        throw LinkError(QString::fromLatin1(kNotConnected));
    if (m_socket->bytesToWrite() + bytes.size() > kWriteBufferBytes)
        throw LinkError(QStringLiteral("The send buffer is full: %1 bytes wait for the peer, which takes nothing")
                            .arg(unsent()));
    if (m_socket->write(bytes) != bytes.size())
        throw LinkError(m_socket->errorString());
    m_handedOver += bytes.size();
}

QByteArray SocketControl::GetDataBytes()
{
    QByteArray all = std::exchange(m_leftover, QByteArray());
    if (m_socket && m_socket->bytesAvailable() > 0)
        all += m_socket->readAll();
    return all;
}

QByteArray SocketControl::takeEverything()
{
    QByteArray all = GetDataBytes();
    if (!m_socket || m_state != sckConnected)
        return all;
    // What the kernel holds arrived before this call too (only what is
    // there now: a sender that keeps going is not followed).
    const int descriptor = int(m_socket->socketDescriptor());
    int pending = 0;
    if (descriptor < 0 || ::ioctl(descriptor, FIONREAD, &pending) != 0 || pending <= 0)
        return all;
    const qsizetype at = all.size();
    all.resize(at + pending);
    const ssize_t got =
        retryOnInterrupt([&] { return ::recv(descriptor, all.data() + at, size_t(pending), MSG_DONTWAIT); });
    all.resize(at + std::max<ssize_t>(0, got));
    return all;
}

qint64 SocketControl::unsent() const
{
    if (!m_socket)
        return 0;
    // All that was handed over less what the peer acknowledged: exact
    // also once the connection ended, the peer's reset included.
    TcpState::Reading now;
    if (TcpState::read(m_probe, &now))
        return TcpState::unacknowledged(m_handedOver, now, m_ackedAtStart);
    // Without the second descriptor: what Qt holds and what the system
    // has not had acknowledged.
    int queued = 0;
    const int descriptor = int(m_socket->socketDescriptor());
    if (descriptor < 0 || ::ioctl(descriptor, SIOCOUTQ, &queued) != 0)
        queued = 0;
    return m_socket->bytesToWrite() + qMax(0, queued);
}

void SocketControl::watchForReset()
{
    // Qt reports the peer's reset as an ordinary close and closes its
    // descriptor at once. A second descriptor keeps the socket itself open,
    // so that its TCP state can still be read when the end comes.
    closeProbe();
    if (m_socket)
        m_probe = ::fcntl(int(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    // What the opening took counts as acknowledged too: the data's count
    // starts from here.
    TcpState::Reading now;
    m_ackedAtStart = TcpState::read(m_probe, &now) ? now.acked : 0;
}

bool SocketControl::endedByReset()
{
    if (m_probe < 0)
        return false;
    // After the peer's FIN the connection waits for our close; after its
    // RST it is closed already. (The descriptor stays until the release:
    // what was acknowledged is read from it.)
    TcpState::Reading now;
    return TcpState::read(m_probe, &now) && now.closed;
}

void SocketControl::closeProbe() noexcept
{
    if (m_probe >= 0)
        ::close(std::exchange(m_probe, -1));
}

void SocketControl::onRequestParked(qint32 id)
{
    QMetaObject::invokeMethod(this, [this, id] { offerRequest(id); }, Qt::QueuedConnection);
}

void SocketControl::offerRequest(qint32 id)
{
    // Dropped meanwhile (Close(), or another request was accepted).
    if (!m_server->isParked(id))
        return;
    m_offering.append(id);
    struct Offered
    {
        SocketControl *control;
        qint32 id;
        ~Offered()
        {
            control->m_offering.removeOne(id);
            // Offered and not taken: nobody will serve it, so its client is
            // told at once instead of waiting on a dead line, and the
            // window of it.
            const QString peer = control->m_server->drop(id);
            if (!peer.isEmpty())
                control->post([control = control, peer] { emit control->requestRefused(peer); });
        }
    } offered{this, id};
    emit ConnectionRequest(id);
}

void SocketControl::onConnected()
{
    watchForReset();
    m_state = sckConnected;
}

void SocketControl::onReadyRead()
{
    // Qt has just read from the system: these bytes came now, whenever the
    // window gets to them.
    arrivalMarks().arrived(BytesReceived());
    if (m_arrivalQueued)
        return;
    m_arrivalQueued = true;
    post([this] {
        m_arrivalQueued = false;
        // An earlier read may have taken what this event announced.
        const qint64 waiting = BytesReceived();
        if (waiting > 0)
            emit DataArrival(waiting);
    });
}

void SocketControl::onBytesWritten(qint64 bytes)
{
    m_progressBytes += bytes;
    if (m_progressQueued)
        return;
    m_progressQueued = true;
    post([this] {
        m_progressQueued = false;
        const qint64 sent = std::exchange(m_progressBytes, 0);
        emit SendProgress(sent, m_socket ? m_socket->bytesToWrite() : 0);
    });
}

void SocketControl::onPeerClosed()
{
    connectionEnded(QAbstractSocket::RemoteHostClosedError, QString());
}

void SocketControl::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::SocketTimeoutError && m_state == sckConnecting) {
        connectTimedOut();
        return;
    }
    QString description = m_socket ? m_socket->errorString() : QString();
    // Which name did not resolve: the box may hold up to 253 characters.
    if (error == QAbstractSocket::HostNotFoundError)
        description = m_remoteHost + QStringLiteral(": ") + description;
    connectionEnded(error, description);
}

void SocketControl::connectionEnded(QAbstractSocket::SocketError error, const QString &description)
{
    if (m_endQueued)
        return;
    m_endQueued = true;
    // What came before the end is the window's to read. Qt may drop its
    // buffer right after telling (it aborts on a failed write), so keep it.
    if (m_socket && m_socket->bytesAvailable() > 0)
        m_leftover += m_socket->readAll();

    // Qt reports the peer's close, and its reset, as this "error".
    const bool reset = endedByReset();
    if (error == QAbstractSocket::RemoteHostClosedError && !reset) {
        // At once, so that a data handler settling right now does not read
        // as if the connection were still there.
        m_state = sckClosing;
        post([this] { emit CloseEvent(); });
        return;
    }
    const QString text = reset ? systemError(ECONNRESET) : description;
    // The state turns to error only as the event is raised: a connect wait
    // that polls State then keeps pumping until the window has been told.
    post([this, error, text] {
        m_state = sckError;
        emit Error(int(error), text);
    });
}
