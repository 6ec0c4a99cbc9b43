// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QFileSystemWatcher;

// Waits for a device that went away (an adapter unplugged) to be back under
// its path, and then has it opened. It watches, through inotify, the folders
// where the path and each link on its way to the device live (or the nearest
// that exist), so it costs nothing while nothing changes there. Once the
// path leads to a character device it calls the opener at once (a board
// prints as it boots: every millisecond counts); an opener that cannot open
// yet (udev has not given the node its group) is called again, soon at
// first and then every 200 ms, for five seconds, and then at the next change.
class PortWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 10;
    static constexpr int kLongestRetryMs = 200;
    static constexpr int kRetryForMs = 5000;

    explicit PortWatch(QObject *parent = nullptr);

    // Watches for `path`; `open` returns true once the device is open, which
    // ends the watch. A watch under way is replaced.
    void start(const QString &path, std::function<bool()> open);
    void stop();
    bool watching() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // The folders watched now (for tests).
    QStringList folders() const;

private:
    void changed();
    void check();
    void rearm();

    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_settle; // coalesces the changes of one turn of the event loop
    QTimer m_retry;
    QElapsedTimer m_sinceChange;
    int m_retries = 0;
    QString m_path;
    std::function<bool()> m_open;
};
