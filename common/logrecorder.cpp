// SPDX-License-Identifier: MIT
#include "logrecorder.h"

#include "guard.h"
#include "logstore.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Past this much pending the pieces are written at once, not at the tick.
constexpr qsizetype kWriteAt = 1 << 20;

} // namespace

LogRecorder::LogRecorder(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(kFlushMs);
    connect(&m_timer, &QTimer::timeout, this, &LogRecorder::flush);
    // The program ends at once, without unwinding: what is pending is
    // written first.
    AtQuit(this, [this] { flush(); });
}

LogRecorder::~LogRecorder()
{
    stop();
}

bool LogRecorder::start(const QString &path, QString *error)
{
    stop();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = systemError();
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_timer.start();
    m_sinceSync.start();
    return true;
}

void LogRecorder::stop()
{
    if (m_fd < 0)
        return;
    flush();
    if (m_fd >= 0) {
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
        const ssize_t n = ::write(m_fd, m_pending.constData() + done, size_t(m_pending.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
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
        ::fdatasync(m_fd);
        m_unsynced = false;
        m_sinceSync.restart();
    }
}
