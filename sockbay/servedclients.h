// SPDX-License-Identifier: MIT
#pragma once

#include "link.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class LogSink;
class Winsock;

// The clients of a server that takes several at once, each on a socket
// control of its own. What each sends is collected and logged under its
// name ("  接收文本（127.0.0.1:40181）：  …"), a second after it starts
// coming as for one client, but on a timer of its own: no client's wait
// holds up another's. Each end is logged as for one client, what came
// before it first. As a Link it is where sends go: to every client, or to
// the one chosen.
class ServedClients : public QObject, public Link
{
    Q_OBJECT
public:
    struct Hooks
    {
        std::function<void()> arrived; // the receive lamp
        std::function<void()> sent;    // the send lamp
        std::function<void(qint64)> unsent; // bytes a client's end dropped
    };
    ServedClients(LogSink &log, Hooks hooks, QObject *parent = nullptr);
    ~ServedClients() override;

    // Takes `control` (connected; owned from now) as the client `peer`.
    void add(Winsock *control, const QString &peer);
    int count() const { return int(m_clients.size()); }
    QStringList peers() const;

    // Sends go to every client (an empty name) or to the one named.
    void sendTo(const QString &peer) { m_sendTo = peer; }
    QString sendsTo() const { return m_sendTo; }

    // Ends every client, each logged as its own end.
    void endAll();
    // As the receive option says, for every client.
    void setShowsText(bool text);

    // Sends (the receive side is each client's own).
    bool linkUp() const override;
    qint64 waiting() const override { return 0; }
    qint64 holdsAtMost() const override { return 0; }
    QByteArray takeWaiting() override { return QByteArray(); }
    QByteArray takeEverything() override { return QByteArray(); }
    // Refused whole (LinkError) when any client it goes to has no room.
    void handOverText(const QString &text) override;
    void handOverBytes(const QByteArray &bytes) override;
    qint64 unsent() const override;
    qint64 sendsAtMost() const override;

signals:
    void countChanged(int count);

private:
    class Client;
    void ended(Client *client, const QString &error);
    std::vector<Client *> targets() const;

    LogSink &m_log;
    Hooks m_hooks;
    std::vector<Client *> m_clients; // owned, in the order they came
    QString m_sendTo;
    bool m_showsText = true;
};
