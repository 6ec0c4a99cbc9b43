// SPDX-License-Identifier: MIT
#include "deaflistener.h"
#include "deafpeer.h"
#include "eventqueue.h"
#include "linkerror.h"
#include "ports.h"
#include "socketcontrol.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

#include <vector>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

// A control with a spy on every event, as the window would see them.
struct Watched
{
    SocketControl control;
    QSignalSpy requests{&control, &Winsock::ConnectionRequest};
    QSignalSpy arrivals{&control, &Winsock::DataArrival};
    QSignalSpy closes{&control, &Winsock::CloseEvent};
    QSignalSpy errors{&control, &Winsock::Error};
    QSignalSpy progress{&control, &Winsock::SendProgress};
    QSignalSpy refusals{&control, &Winsock::requestRefused};
    QSignalSpy losses{&control, &Winsock::sendsLost};

    int eventCount() const
    {
        return int(requests.count() + arrivals.count() + closes.count() + errors.count() + progress.count()
                   + refusals.count() + losses.count());
    }
    QStringList refused() const
    {
        QStringList peers;
        for (const QList<QVariant> &event : refusals)
            peers << event.at(0).toString();
        return peers;
    }

    // Accepts the way the window does: close, then accept the same id, from
    // inside the event.
    void acceptLikeTheWindow()
    {
        QObject::connect(&control, &Winsock::ConnectionRequest, &control, [this](qint32 id) {
            control.Close();
            control.Accept(id);
        });
    }

    quint16 listenOnFreePort()
    {
        control.setLocalPort(0);
        control.Listen();
        return quint16(control.LocalPort());
    }
};

std::unique_ptr<QTcpSocket> connectClient(quint16 port)
{
    auto client = std::make_unique<QTcpSocket>();
    // Kept: a socket forgets its own port once it is unconnected again.
    QTcpSocket *socket = client.get();
    QObject::connect(socket, &QTcpSocket::connected, socket,
                     [socket] { socket->setProperty("peerName", kLoopback + u':' + QString::number(socket->localPort())); });
    client->connectToHost(kLoopback, port);
    return client;
}

// How the control names the client's end.
QString nameOf(const QTcpSocket &client)
{
    return client.property("peerName").toString();
}

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace

class TstSocketControl : public QObject
{
    Q_OBJECT
private slots:
    void acceptedConnectionCarriesDataBothWays();
    void peerCloseRaisesCloseEventOnce();
    void closeIsSilentAndStopsEverything();
    void hangUpStillDeliversWhatWasSent();
    void nothingUnsentOnceThePeerTookAll();
    void whatAPeerNeverTookIsCounted_data();
    void whatAPeerNeverTookIsCounted();
    void listenOnPortInUseThrowsQtsText();
    void refusedConnectRaisesErrorLater();
    void badArgumentsThrowAtOnce_data();
    void badArgumentsThrowAtOnce();
    void unansweredConnectStaysConnecting();
    void secondSimultaneousClientIsRefused();
    void requestNotAcceptedIsDropped();
    void whatWaitsAtTheCloseIsToldOf();
    void fastSenderIsHeldBackAndEveryByteArrivesOnce();
    void localIpIsIpv4();
};

void TstSocketControl::acceptedConnectionCarriesDataBothWays()
{
    Watched w;
    w.acceptLikeTheWindow();
    const quint16 port = w.listenOnFreePort();
    QVERIFY(port != 0);
    QCOMPARE(w.control.State(), int(Winsock::sckListening));

    auto client = connectClient(port);
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);
    QCOMPARE(w.requests.count(), 1);

    // Bytes come back as they came, a character cut between reads too.
    const QByteArray text = QStringLiteral("aé世b").toUtf8();
    client->write(text.left(2));
    QTRY_COMPARE_WITH_TIMEOUT(w.control.BytesReceived(), qint64(2), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.arrivals.isEmpty(), 10000);
    QCOMPARE(w.control.GetDataBytes(), text.left(2));
    QCOMPARE(w.control.BytesReceived(), qint64(0));
    client->write(text.mid(2));
    QTRY_COMPARE_WITH_TIMEOUT(w.control.BytesReceived(), qint64(text.size() - 2), 10000);
    QCOMPARE(w.control.GetDataBytes(), text.mid(2));

    QByteArray all(256, Qt::Uninitialized);
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    client->write(all);
    QTRY_COMPARE_WITH_TIMEOUT(w.control.BytesReceived(), qint64(256), 10000);
    QCOMPARE(w.control.GetDataBytes(), all);

    w.control.SendData(QStringLiteral("héllo"));
    w.control.SendData(all);
    QCOMPARE(w.progress.count(), 0); // never from inside the window's call
    const QByteArray expected = QStringLiteral("héllo").toUtf8() + all;
    QTRY_COMPARE_WITH_TIMEOUT(client->bytesAvailable(), qint64(expected.size()), 10000);
    QCOMPARE(client->readAll(), expected);
    QTRY_VERIFY_WITH_TIMEOUT(!w.progress.isEmpty(), 10000);
    qint64 sent = 0;
    for (const auto &args : std::as_const(w.progress))
        sent += args.at(0).toLongLong();
    QCOMPARE(sent, qint64(expected.size()));
    QCOMPARE(w.closes.count() + w.errors.count(), 0);
}

void TstSocketControl::peerCloseRaisesCloseEventOnce()
{
    Watched w;
    w.acceptLikeTheWindow();
    auto client = connectClient(w.listenOnFreePort());
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);

    int stateSeen = -1;
    connect(&w.control, &Winsock::CloseEvent, this, [&] { stateSeen = w.control.State(); });
    client->write("last words");
    client->disconnectFromHost();
    QVERIFY(w.closes.wait(10000));
    QTest::qWait(200); // a second close would follow the kernel's notices: real time only
    QCOMPARE(w.closes.count(), 1);
    QCOMPARE(stateSeen, int(Winsock::sckClosing));
    QCOMPARE(w.errors.count(), 0);
    QCOMPARE(w.control.GetDataBytes(), QByteArray("last words"));

    w.control.Close();
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
}

void TstSocketControl::closeIsSilentAndStopsEverything()
{
    Watched w;
    w.control.Close(); // already closed
    w.acceptLikeTheWindow();
    const quint16 port = w.listenOnFreePort();
    auto client = connectClient(port);
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);

    // The peer's close has been seen but its event not yet raised (it is
    // queued in the same pass) when the control is closed.
    client->write("unread");
    client->disconnectFromHost();
    QElapsedTimer limit;
    limit.start();
    while (w.control.State() == Winsock::sckConnected && limit.elapsed() < 10000)
        QCoreApplication::processEvents();
    QCOMPARE(w.control.State(), int(Winsock::sckClosing));
    QCOMPARE(w.closes.count(), 0);
    const int before = w.eventCount();
    w.control.Close();
    w.control.Close();
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
    QCOMPARE(w.control.BytesReceived(), qint64(0));
    deliverQueuedEvents();
    QCOMPARE(w.eventCount(), before);

    // Nothing listens any more.
    auto late = connectClient(port);
    QVERIFY(QSignalSpy(late.get(), &QTcpSocket::errorOccurred).wait(10000));
    QCOMPARE(late->error(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(w.requests.count(), 1);

    // Closing a listener frees its port for the next listen.
    w.control.setLocalPort(port);
    w.control.Listen();
    QCOMPARE(w.control.State(), int(Winsock::sckListening));
}

void TstSocketControl::hangUpStillDeliversWhatWasSent()
{
    Watched w;
    w.acceptLikeTheWindow();
    auto client = connectClient(w.listenOnFreePort());
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);
    const QByteArray payload = pattern(512 * 1024);
    w.control.SendData(payload);
    w.control.Close();

    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += client->readAll(), client->state() == QAbstractSocket::UnconnectedState),
                             20000);
    got += client->readAll();
    QCOMPARE(got.size(), payload.size());
    QVERIFY(got == payload);
}

void TstSocketControl::nothingUnsentOnceThePeerTookAll()
{
    // Out and in: the count is of data only, the handshake's and the end's
    // sequence numbers aside.
    for (const bool outgoing : {true, false}) {
        Watched w;
        QTcpServer server;
        std::unique_ptr<QTcpSocket> peer;
        if (outgoing) {
            QVERIFY(server.listen(QHostAddress::LocalHost, 0));
            w.control.Connect(kLoopback, QString::number(server.serverPort()));
            QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);
            QTRY_VERIFY(server.hasPendingConnections());
            peer.reset(server.nextPendingConnection());
        } else {
            w.acceptLikeTheWindow();
            peer = connectClient(w.listenOnFreePort());
            QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);
        }
        QCOMPARE(w.control.unsent(), qint64(0));
        w.control.SendData(pattern(100000));
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += peer->readAll(), got.size() == 100000), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.control.unsent(), qint64(0), 10000);
        // Hung up with nothing left: no loss is ever told of.
        w.control.Close();
        QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, 10000);
        QTest::qWait(100);
        QCOMPARE(w.losses.count(), 0);
    }
}

// A peer that takes nothing. The control sends until its buffer refuses
// more; then the connection ends: hung up (cut off after the linger), or
// reset by the peer. What the peer's system received and what the control
// counts as never arrived add up to all it was handed.
void TstSocketControl::whatAPeerNeverTookIsCounted_data()
{
    QTest::addColumn<bool>("hungUp");
    QTest::newRow("hung up, cut off") << true;
    QTest::newRow("reset by the peer") << false;
}
void TstSocketControl::whatAPeerNeverTookIsCounted()
{
    QFETCH(bool, hungUp);
    Watched w;
    w.acceptLikeTheWindow();
    w.control.setLingerLimit(300);
    DeafPeer peer;
    QVERIFY(peer.connectTo(w.listenOnFreePort()));
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);

    const QByteArray piece(64 * 1024, 'x');
    qint64 handed = 0;
    try {
        for (int i = 0; i < 1000; ++i) {
            w.control.SendData(piece);
            handed += piece.size();
            QCoreApplication::processEvents(); // the system takes what it can
        }
        QFAIL("the send buffer never filled");
    } catch (const LinkError &e) {
        QVERIFY2(e.description().startsWith(QStringLiteral("The send buffer is full")), qPrintable(e.description()));
    }
    QTest::qWait(100);
    // What the peer's system holds is what it acknowledged.
    const qint64 unsent = w.control.unsent();
    QVERIFY(unsent > SocketControl::kWriteBufferBytes / 2);
    QCOMPARE(peer.received() + unsent, handed);
    if (hungUp) {
        w.control.Close();
        QVERIFY(w.losses.wait(5000));
        // (The peer's system may have taken a little more meanwhile.)
        QCOMPARE(peer.received() + w.losses.first().at(0).toLongLong(), handed);
    } else {
        peer.reset();
        QTRY_VERIFY_WITH_TIMEOUT(w.errors.count() + w.closes.count() > 0, 10000);
        QCOMPARE(w.control.unsent(), unsent);
        w.control.Close();
        deliverQueuedEvents();
        QCOMPARE(w.losses.count(), 0); // the window was told by unsent(), before its line
    }
}

void TstSocketControl::listenOnPortInUseThrowsQtsText()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, 0));
    QTcpServer second;
    QVERIFY(!second.listen(QHostAddress::Any, holder.serverPort()));

    Watched w;
    w.control.setLocalPort(holder.serverPort());
    try {
        w.control.Listen();
        QFAIL("listening on a port in use succeeded");
    } catch (const LinkError &e) {
        QCOMPARE(e.description(), second.errorString());
    }
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
}

void TstSocketControl::refusedConnectRaisesErrorLater()
{
    Watched w;
    w.control.Connect(kLoopback, QString::number(freePort()));
    QCOMPARE(w.control.State(), int(Winsock::sckConnecting));
    QCOMPARE(w.errors.count(), 0);
    // Until the window has the event, a connect wait sees it still going.
    int stateSeen = -1;
    connect(&w.control, &Winsock::Error, this, [&] { stateSeen = w.control.State(); });
    QVERIFY(w.errors.wait(10000));
    QCOMPARE(stateSeen, int(Winsock::sckError));
    QCOMPARE(w.errors.first().at(1).toString(), QStringLiteral("Connection refused"));
    QTest::qWait(100); // a second report would follow the kernel's notices: real time only
    QCOMPARE(w.errors.count(), 1);
    QCOMPARE(w.closes.count(), 0);
    w.control.Close();
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
}

void TstSocketControl::badArgumentsThrowAtOnce_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::newRow("huge") << kLoopback << "9E+99";
    QTest::newRow("negative") << kLoopback << "-1";
    QTest::newRow("zero") << kLoopback << "0";
    QTest::newRow("rounds to zero") << kLoopback << "0.4";
    QTest::newRow("above range") << kLoopback << "65536";
    QTest::newRow("not a number") << kLoopback << "abc";
    QTest::newRow("empty port") << kLoopback << "";
    QTest::newRow("empty host") << " " << "80";
}

void TstSocketControl::badArgumentsThrowAtOnce()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    Watched w;
    QVERIFY_THROWS_EXCEPTION(LinkError, w.control.Connect(host, port));
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
    QVERIFY_THROWS_EXCEPTION(LinkError, w.control.setLocalPort(-1));
    QVERIFY_THROWS_EXCEPTION(LinkError, w.control.setLocalPort(65536));
    QVERIFY_THROWS_EXCEPTION(LinkError, w.control.Accept(1));
    deliverQueuedEvents();
    QCOMPARE(w.eventCount(), 0);
}

void TstSocketControl::unansweredConnectStaysConnecting()
{
    DeafListener deaf;
    QVERIFY(deaf.start());

    Watched w;
    w.control.Connect(kLoopback, QString::number(deaf.port()));
    QTest::qWait(2000); // the handshake is the kernel's: only real time shows it never ends
    QCOMPARE(w.control.State(), int(Winsock::sckConnecting));
    QCOMPARE(w.eventCount(), 0);
    w.control.Close();
    QCOMPARE(w.control.State(), int(Winsock::sckClosed));
}

void TstSocketControl::secondSimultaneousClientIsRefused()
{
    Watched w;
    w.acceptLikeTheWindow();
    const quint16 port = w.listenOnFreePort();
    std::unique_ptr<QTcpSocket> clients[2] = {connectClient(port), connectClient(port)};

    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);
    // Exactly one of the two is cut off; the other is the one served.
    QTRY_VERIFY_WITH_TIMEOUT(clients[0]->state() == QAbstractSocket::UnconnectedState
                                 || clients[1]->state() == QAbstractSocket::UnconnectedState,
                             10000);
    QTest::qWait(300); // which client is cut off is the kernel's doing: let it settle
    const int served = clients[0]->state() == QAbstractSocket::UnconnectedState ? 1 : 0;
    QCOMPARE(clients[served]->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(w.requests.count(), 1);
    // The one cut off is told of, by its address.
    QTRY_COMPARE_WITH_TIMEOUT(w.refused(), QStringList{nameOf(*clients[1 - served])}, 10000);

    clients[served]->write("ping");
    QTRY_COMPARE_WITH_TIMEOUT(w.control.BytesReceived(), qint64(4), 10000);
    QCOMPARE(w.control.GetDataBytes(), QByteArray("ping"));
    w.control.SendData(QByteArray("pong"));
    QTRY_COMPARE_WITH_TIMEOUT(clients[served]->bytesAvailable(), qint64(4), 10000);
    QCOMPARE(w.control.State(), int(Winsock::sckConnected));
    QCOMPARE(w.closes.count() + w.errors.count(), 0);
}

void TstSocketControl::requestNotAcceptedIsDropped()
{
    Watched w;
    auto client = connectClient(w.listenOnFreePort());
    QVERIFY(w.requests.wait(10000));
    const qint32 id = w.requests.first().at(0).toInt();
    QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(w.control.State(), int(Winsock::sckListening));
    QCOMPARE(w.refused(), QStringList{nameOf(*client)});
    w.control.Close();
    QVERIFY_THROWS_EXCEPTION(LinkError, w.control.Accept(id));
}

void TstSocketControl::whatWaitsAtTheCloseIsToldOf()
{
    // Connections the system completed but nobody took yet (they wait in
    // its queue) when listening ends: each is closed and told of, none is
    // reset unseen.
    Watched w;
    const quint16 port = w.listenOnFreePort();
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(connectClient(port));
        QVERIFY(clients.back()->waitForConnected(10000)); // the kernel completed it; the control saw nothing yet
    }
    w.control.Close();
    deliverQueuedEvents();
    QStringList expected;
    for (const auto &client : clients)
        expected << nameOf(*client);
    QStringList refused = w.refused();
    refused.sort();
    expected.sort();
    QCOMPARE(refused, expected);
    QCOMPARE(w.requests.count(), 0);
    for (const auto &client : clients)
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QAbstractSocket::UnconnectedState, 10000);
}

void TstSocketControl::fastSenderIsHeldBackAndEveryByteArrivesOnce()
{
    Watched w;
    w.acceptLikeTheWindow();
    auto client = connectClient(w.listenOnFreePort());
    QTRY_COMPARE_WITH_TIMEOUT(w.control.State(), int(Winsock::sckConnected), 10000);

    const qint64 total = 32 * 1024 * 1024;
    const QByteArray payload = pattern(total);
    client->write(payload);
    // Nobody reads: the control's buffer fills to its bound and stays there,
    // the rest waits with the sender.
    QTRY_COMPARE_WITH_TIMEOUT(w.control.BytesReceived(), SocketControl::kReadBufferBytes, 30000);
    QTest::qWait(500); // more would come from the kernel: real time only
    QCOMPARE(w.control.BytesReceived(), SocketControl::kReadBufferBytes);
    QVERIFY(client->bytesToWrite() > 0);

    QByteArray got;
    got.reserve(total);
    QTRY_VERIFY_WITH_TIMEOUT((got += w.control.GetDataBytes(), got.size() >= total), 60000);
    QTest::qWait(200); // stray bytes would come from the kernel: real time only
    got += w.control.GetDataBytes();
    QCOMPARE(got.size(), total);
    QVERIFY(got == payload);
    QVERIFY(!w.arrivals.isEmpty());
}

void TstSocketControl::localIpIsIpv4()
{
    SocketControl control;
    const QHostAddress address(control.LocalIP());
    QCOMPARE(address.protocol(), QAbstractSocket::IPv4Protocol);
    QCOMPARE(address.toString(), control.LocalIP());
}

QTEST_GUILESS_MAIN(TstSocketControl)
#include "tst_socketcontrol.moc"
