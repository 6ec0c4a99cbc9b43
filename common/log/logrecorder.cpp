// SPDX-License-Identifier: MIT
#include "logrecorder.h"

#include "logstore.h"
#include "syserror.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Past this much pending the pieces are written at once, not at the tick.
constexpr qsizetype kWriteAt = 1 << 20;

} // namespace

LogRecorder::LogRecorder(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &LogRecorder::flush);
}

LogRecorder::~LogRecorder()
{
    stop();
}

Problem LogRecorder::start(const QString &path)
{
    stop();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return systemProblem();
    m_fd = fd;
    m_path = path;
    m_timer.start();
    m_sinceSync.start();
    return Problem();
}

void LogRecorder::stop()
{
    if (m_fd < 0)
        return;
    flush();
    if (m_fd >= 0) {
        // A sync that fails leaves what was written in the system's cache,
        // where a save would leave it too: nothing more to tell.
        ::fdatasync(m_fd);
        ::close(m_fd);
    }
    m_fd = -1;
    m_timer.stop();
}

void LogRecorder::record(const LogStore &store, qint64 from, qint64 to)
{
    if (m_fd < 0)
        return;
    store.writeUtf8(from, to, [this](const char *bytes, qint64 n) { m_pending.append(bytes, qsizetype(n)); });
    if (m_pending.size() >= kWriteAt)
        flush();
}

void LogRecorder::flush()
{
    if (m_fd < 0)
        return;
    for (qsizetype done = 0; done < m_pending.size();) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::write(m_fd, m_pending.constData() + done, size_t(m_pending.size() - done)); });
        if (n <= 0) {
            const QString reason = systemError();
            m_pending.clear();
            ::close(m_fd);
            m_fd = -1;
            m_timer.stop();
            emit failed(reason);
            return;
        }
        done += n;
        m_unsynced = true;
    }
    m_pending.clear();
    // On the disk, not only in the system's cache: a power cut keeps it.
    if (m_unsynced && m_sinceSync.elapsed() >= kSyncMs) {
        ::fdatasync(m_fd); // (as at stop())
        m_unsynced = false;
        m_sinceSync.restart();
    }
}
