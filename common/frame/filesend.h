// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QFile>
#include <QObject>
#include <QTimer>

class Link;
class LogSink;

// Sends a file's raw bytes over the link, a piece at a time as the link
// has room (never the whole file in memory, never more handed over than
// the link takes), optionally paced: a delay after every byte, or after
// every line. The log gets one entry as it starts (the file and its size)
// and one as it ends: done, in blue, with the bytes and their CRC-32, or
// in red why it stopped (cancelled, the link ended, the file could not be
// read) with how many bytes were handed over.
class FileSend : public QObject
{
    Q_OBJECT
public:
    enum class Pace { None, PerByte, PerLine };

    FileSend(Link &link, LogSink &log, QObject *parent = nullptr);

    // Starts sending; a problem (nothing logged, nothing sent) when the
    // link is down, a file is being sent, or the file cannot be opened.
    Problem start(const QString &path, Pace pace = Pace::None, int delayMs = 0);
    // Stops at once, said in red.
    void cancel();
    // The link has sent what it held (its send event): room for more now,
    // not at the next look.
    void linkSent();

    bool running() const { return m_file.isOpen(); }
    qint64 handedOver() const { return m_handedOver; }
    qint64 size() const { return m_size; }

signals:
    void progressed(qint64 handedOver, qint64 size);
    void finished();

private:
    void tick();
    // Ends the send: logged as done or, with `why`, as stopped.
    void end(const QString &why = QString());

    Link &m_link;
    LogSink &m_log;
    QFile m_file;
    QTimer m_timer;
    Pace m_pace = Pace::None;
    int m_delayMs = 0;
    qint64 m_size = 0;
    qint64 m_handedOver = 0;
    quint32 m_crc = 0;
};
