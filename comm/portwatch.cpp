// SPDX-License-Identifier: MIT
#include "portwatch.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>
#include <sys/stat.h>

namespace {

// How many links a path may pass through on its way to the device.
constexpr int kMostLinks = 16;

bool isCharacterDevice(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// The folder `dir`, or the nearest folder above it that exists.
QString nearestFolder(QString dir)
{
    while (!QFileInfo(dir).isDir()) {
        const QString up = QFileInfo(dir).path();
        if (up == dir)
            break;
        dir = up;
    }
    return dir;
}

} // namespace

PortWatch::PortWatch(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(0);
    connect(&m_settle, &QTimer::timeout, this, &PortWatch::check);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PortWatch::check);
}

void PortWatch::start(const QString &path, std::function<bool()> open)
{
    stop();
    m_path = path;
    m_open = std::move(open);
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &PortWatch::changed);
    rearm();
    // It may be back already.
    changed();
}

void PortWatch::stop()
{
    m_settle.stop();
    m_retry.stop();
    delete m_watcher;
    m_watcher = nullptr;
    m_path.clear();
    m_open = nullptr;
}

QStringList PortWatch::folders() const
{
    return m_watcher ? m_watcher->directories() : QStringList();
}

void PortWatch::rearm()
{
    if (!m_watcher)
        return;
    QStringList wanted;
    QString hop = m_path;
    for (int i = 0; i < kMostLinks; ++i) {
        const QFileInfo info(hop);
        const QString folder = nearestFolder(info.path());
        if (!wanted.contains(folder))
            wanted << folder;
        // The next hop (absolute, a relative link read from its folder).
        hop = info.isSymLink() ? info.symLinkTarget() : QString();
        if (hop.isEmpty())
            break;
    }
    const QStringList now = m_watcher->directories();
    for (const QString &old : now)
        if (!wanted.contains(old))
            m_watcher->removePath(old);
    for (const QString &folder : wanted)
        if (!now.contains(folder))
            m_watcher->addPath(folder);
}

void PortWatch::changed()
{
    // A change is a fresh chance: the retries start again.
    m_retries = 0;
    m_sinceChange.start();
    m_settle.start();
}

void PortWatch::check()
{
    if (!watching())
        return;
    rearm();
    if (!isCharacterDevice(m_path))
        return;
    if (m_open()) {
        stop();
        return;
    }
    if (m_sinceChange.elapsed() < kRetryForMs)
        m_retry.start(std::min(kLongestRetryMs, kFirstRetryMs << std::min(m_retries++, 5)));
}
