// SPDX-License-Identifier: MIT
#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

// A listener on 127.0.0.1 that never accepts and whose backlog is full, so a
// further connect is never answered and stays pending.
class DeafListener
{
public:
    bool start()
    {
        m_server.setListenBacklogSize(0);
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            return false;
        m_server.pauseAccepting();
        for (int i = 0; i < 4; ++i) {
            auto filler = std::make_unique<QTcpSocket>();
            filler->connectToHost(QHostAddress::LocalHost, m_server.serverPort());
            m_fillers.push_back(std::move(filler));
        }
        QTest::qWait(300); // let the fillers take the backlog
        return true;
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_fillers;
};
