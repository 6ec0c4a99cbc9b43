// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QFileSystemWatcher;

// Waits for a device that went away (an adapter unplugged) to be back under
// its path, and then has it opened. It watches, through inotify, the folders
// where the path and each link on its way to the device live (or the nearest
// that exist), so it costs nothing while nothing changes there. Once the
// path leads to a character device it calls the opener; an opener that
// cannot open yet (udev has not given the node its group) is called again
// a few times shortly after, and then at the next change.
class PortWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRetryMs = 200;
    static constexpr int kRetries = 25;

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
    QTimer m_settle; // coalesces a burst of changes
    QTimer m_retry;
    int m_retriesLeft = 0;
    QString m_path;
    std::function<bool()> m_open;
};
