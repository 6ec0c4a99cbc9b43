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
    m_fileSize = 0;
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
    if (m_fd < 0 || to <= from)
        return;
    m_stretches.emplace_back(m_pending.size(), from);
    store.writeUtf8(from, to, [this](const char *bytes, qint64 n) { m_pending.append(bytes, qsizetype(n)); });
    if (m_pending.size() >= kWriteAt)
        flush();
}

void LogRecorder::stopShort(qsizetype written, const QString &reason)
{
    // Back to the start of the character the file cut (the pending text is
    // whole UTF-8: a continuation byte never starts it).
    qsizetype whole = written;
    while (whole > 0 && whole < m_pending.size() && (static_cast<unsigned char>(m_pending.at(whole)) & 0xC0) == 0x80)
        --whole;
    // Giving bytes back needs no room, so this holds on a full disk too.
    if (whole < written)
        (void)::ftruncate(m_fd, m_fileSize + whole);
    // The log's position of that character: the stretch it is in, and the
    // UTF-16 characters before it there (a four-byte sequence is a pair).
    qint64 position = 0;
    qsizetype from = 0;
    for (const auto &[byte, at] : m_stretches) {
        if (byte > whole)
            break;
        from = byte;
        position = at;
    }
    for (qsizetype i = from; i < whole; ++i) {
        const auto b = static_cast<unsigned char>(m_pending.at(i));
        if ((b & 0xC0) != 0x80)
            position += b >= 0xF0 ? 2 : 1;
    }
    m_pending.clear();
    m_stretches.clear();
    ::close(m_fd);
    m_fd = -1;
    m_timer.stop();
    emit failed(reason, position);
}

void LogRecorder::flush()
{
    if (m_fd < 0)
        return;
    for (qsizetype done = 0; done < m_pending.size();) {
        const ssize_t n = retryOnInterrupt(
            [&] { return ::write(m_fd, m_pending.constData() + done, size_t(m_pending.size() - done)); });
        if (n <= 0) {
            stopShort(done, systemError());
            return;
        }
        done += n;
        m_unsynced = true;
    }
    m_fileSize += m_pending.size();
    m_pending.clear();
    m_stretches.clear();
    // On the disk, not only in the system's cache: a power cut keeps it.
    if (m_unsynced && m_sinceSync.elapsed() >= kSyncMs) {
        ::fdatasync(m_fd); // (as at stop())
        m_unsynced = false;
        m_sinceSync.restart();
    }
}
