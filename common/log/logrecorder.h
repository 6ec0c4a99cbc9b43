// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <utility>
#include <vector>

class LogStore;

// Records the log to a file as it is written: from the moment it starts,
// every piece appended to the log goes to the file as the log reads it
// (UTF-8, line breaks as "\n"), so the file reads the same as a later save
// of that stretch. Written out at least every kFlushMs, so a crash of the
// program loses at most that much, and pushed to the disk at most every
// kSyncMs, so a power cut loses at most that much (a sync can take a while
// on a busy disk: not on every write).
class LogRecorder : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFlushMs = 250;
    static constexpr int kSyncMs = 1000;

    explicit LogRecorder(QObject *parent = nullptr);
    ~LogRecorder() override;

    // Starts a new file at `path` (replacing one there), unless it cannot
    // be made.
    Problem start(const QString &path);
    // Writes out what is pending and closes the file.
    void stop();
    bool recording() const { return m_fd >= 0; }
    QString path() const { return m_path; }

    // Takes [from, to) of the log.
    void record(const LogStore &store, qint64 from, qint64 to);
    // Writes out what is pending now (a quit does not wait for the timer:
    // whoever ends the program calls this first).
    void flush();

signals:
    // The file could not be written (a full disk): recording has stopped.
    // The file ends on a whole character: what it holds of the log ends
    // just before the log's `position`.
    void failed(const QString &reason, qint64 position);

private:
    // The file could take only `written` bytes of what is pending: cuts it
    // back to the last whole character and says where that is in the log.
    void stopShort(qsizetype written, const QString &reason);

    int m_fd = -1;
    QString m_path;
    qint64 m_fileSize = 0;
    QByteArray m_pending;
    // Where each recorded stretch begins: its first byte in m_pending and
    // its position in the log (a clear starts the log's positions again).
    std::vector<std::pair<qsizetype, qint64>> m_stretches;
    QTimer m_timer;
    QElapsedTimer m_sinceSync;
    bool m_unsynced = false;
};
