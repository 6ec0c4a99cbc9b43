// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

// A pseudo-terminal pair standing in for a serial line: the control opens
// the device end through a "comN" link in a temporary XDG_CONFIG_HOME; the
// test plays the far end on the master side.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString devicePath() const { return m_device; }
    int master() const { return m_master; }

    // Points XDG_CONFIG_HOME/comm/com<port> at this pair's device.
    void linkAs(int port);
    // Points com<port> at `target`, which need not exist.
    void linkTo(int port, const QString &target);
    QString configHome() const { return m_config.path(); }

    // The far end writes (blocking until the kernel took all of it).
    bool write(const QByteArray &bytes);
    // Reads what the far end has received until `size` bytes came or the
    // time ran out, keeping the event loop running so the control can write.
    QByteArray read(qsizetype size, int timeoutMs = 10000);
    // The far end hangs up.
    void closeMaster();

    // Writes `data` from another thread, in pieces, as fast as the line
    // takes it (or with `pauseMs` between pieces).
    void startWriter(QByteArray data, qsizetype piece, int pauseMs = 0);
    void joinWriter();
    qint64 writtenSoFar() const { return m_written.load(); }

private:
    QTemporaryDir m_config;
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    std::thread m_writer;
    std::atomic<qint64> m_written{0};
    std::atomic<bool> m_stop{false};
};
