// SPDX-License-Identifier: MIT
#include "servedclients.h"

#include "clock.h"
#include "linkerror.h"
#include "logcolours.h"
#include "logsink.h"
#include "receivecollection.h"
#include "winsock.h"

#include <QTimer>

#include <algorithm>

namespace {

// The client's own timer has let the burst come in: read at once.
class ReadAtOnce : public SettlePolicy
{
public:
    void settle(Link &) override {}
    void arrived(Link &) override {}
};

} // namespace

class ServedClients::Client : public QObject
{
public:
    Client(Winsock *control, QString peer, LogSink &log, ServedClients *owner)
        : QObject(owner), control(control), peer(std::move(peer)),
          collection(*control, log, owner->m_hooks.arrived)
    {
        control->setParent(this);
        collection.setSource(this->peer);
        collection.setSettlePolicy(std::make_unique<ReadAtOnce>());
        collection.setShowsText(owner->m_showsText);
        settle.setSingleShot(true);
        connect(&settle, &QTimer::timeout, this, [this] { collection.collect(); });
    }

    Winsock *control;
    QString peer;
    ReceiveCollection collection;
    QTimer settle;
    bool ending = false;
};

ServedClients::ServedClients(LogSink &log, Hooks hooks, QObject *parent)
    : QObject(parent), m_log(log), m_hooks(std::move(hooks))
{
}

ServedClients::~ServedClients() = default; // the clients are children

void ServedClients::add(Winsock *control, const QString &peer)
{
    auto *client = new Client(control, peer, m_log, this);
    m_clients.push_back(client);
    connect(control, &Winsock::DataArrival, client, [this, client] {
        m_hooks.arrived();
        // A client that holds all it can takes no more until read.
        if (client->control->waiting() >= client->control->holdsAtMost()) {
            client->settle.stop();
            client->collection.collect();
        } else if (!client->settle.isActive()) {
            client->settle.start(Clock::current().realMs(qint64(SettleWhileGrowing::kSeconds * 1000)));
        }
    });
    connect(control, &Winsock::SendProgress, client, [this] { m_hooks.sent(); });
    connect(control, &Winsock::CloseEvent, client, [this, client] { ended(client, QString()); });
    connect(control, &Winsock::Error, client,
            [this, client](int, const QString &description) { ended(client, description); });
    connect(control, &Winsock::sendsLost, client, [this](qint64 bytes) { m_hooks.unsent(bytes); });
    emit countChanged(count());
}

QStringList ServedClients::peers() const
{
    QStringList out;
    for (const Client *client : m_clients)
        out << client->peer;
    return out;
}

void ServedClients::ended(Client *client, const QString &error)
{
    if (client->ending)
        return;
    client->ending = true;
    client->settle.stop();
    // What it sent before it ended stands before its end.
    client->collection.logRest();
    if (!error.isEmpty())
        m_log.appendEntry(kRed, QStringLiteral("  通讯错误（") + client->peer + QStringLiteral("）：") + error);
    m_hooks.unsent(client->control->unsent());
    client->control->Close();
    m_log.appendEntry(kBlack, QStringLiteral("  通讯结束：") + client->peer + QStringLiteral("\r\n"));
    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), client));
    if (m_sendTo == client->peer)
        m_sendTo.clear();
    // Not from inside its own control's signal.
    client->deleteLater();
    emit countChanged(count());
}

void ServedClients::endAll()
{
    // Ends in the order they came; each end leaves the list.
    while (!m_clients.empty())
        ended(m_clients.front(), QString());
}

void ServedClients::setShowsText(bool text)
{
    m_showsText = text;
    for (Client *client : m_clients)
        client->collection.setShowsText(text);
}

std::vector<ServedClients::Client *> ServedClients::targets() const
{
    std::vector<Client *> out;
    for (Client *client : m_clients)
        if (m_sendTo.isEmpty() || client->peer == m_sendTo)
            out.push_back(client);
    return out;
}

bool ServedClients::linkUp() const
{
    for (const Client *client : targets())
        if (client->control->linkUp())
            return true;
    return false;
}

void ServedClients::handOverText(const QString &text)
{
    handOverBytes(text.toUtf8());
}

void ServedClients::handOverBytes(const QByteArray &bytes)
{
    const std::vector<Client *> to = targets();
    // All or none: a send logged once must not reach only some of them.
    for (const Client *client : to) {
        if (client->control->linkUp() && client->control->unsent() + bytes.size() > client->control->sendsAtMost())
            throw LinkError(client->peer + QStringLiteral(": the send buffer is full: %1 bytes wait for the peer, "
                                                          "which takes nothing")
                                                 .arg(client->control->unsent()));
    }
    for (Client *client : to)
        if (client->control->linkUp())
            client->control->SendData(bytes);
}

qint64 ServedClients::unsent() const
{
    qint64 total = 0;
    for (const Client *client : targets())
        total += client->control->unsent();
    return total;
}

qint64 ServedClients::sendsAtMost() const
{
    qint64 least = 0;
    bool any = false;
    for (const Client *client : targets()) {
        least = any ? std::min(least, client->control->sendsAtMost()) : client->control->sendsAtMost();
        any = true;
    }
    return least;
}
