// SPDX-License-Identifier: MIT
#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_device = QString::fromLocal8Bit(name);
    // Non-blocking, so a writer that the line holds back can still be told
    // to stop.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QDir(m_config.path()).mkpath(QStringLiteral("comm"));
}

PtyPair::~PtyPair()
{
    m_stop = true;
    joinWriter();
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

void PtyPair::linkAs(int port)
{
    linkTo(port, m_device);
}

void PtyPair::linkTo(int port, const QString &target)
{
    const QString link = m_config.path() + QStringLiteral("/comm/com%1").arg(port);
    QFile::remove(link);
    QFile::link(target, link);
}

namespace {

// Writes all of `size` bytes to the non-blocking `fd`, waiting for room;
// false when the far end went away or `stop` was raised.
bool writeAll(int fd, const char *data, qsizetype size, const std::atomic<bool> &stop, std::atomic<qint64> *written)
{
    qsizetype done = 0;
    // A far end that takes nothing for this long will not: fail, do not hang.
    QDeadlineTimer stalled(10000);
    while (done < size) {
        if (stop || stalled.hasExpired())
            return false;
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 50);
                continue;
            }
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
        stalled.setRemainingTime(10000);
        if (written)
            *written += n;
    }
    return true;
}

} // namespace

bool PtyPair::write(const QByteArray &bytes)
{
    return writeAll(m_master, bytes.constData(), bytes.size(), m_stop, nullptr);
}

QByteArray PtyPair::read(qsizetype size, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < size && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
        }
    }
    return got;
}

void PtyPair::closeMaster()
{
    m_stop = true;
    joinWriter();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void PtyPair::startWriter(QByteArray data, qsizetype piece, int pauseMs)
{
    joinWriter();
    m_written = 0;
    const int fd = m_master;
    m_writer = std::thread([this, fd, data = std::move(data), piece, pauseMs] {
        for (qsizetype at = 0; at < data.size(); at += piece) {
            if (!writeAll(fd, data.constData() + at, std::min(piece, data.size() - at), m_stop, &m_written))
                return;
            if (pauseMs > 0)
                ::usleep(useconds_t(pauseMs) * 1000);
        }
    });
}

void PtyPair::joinWriter()
{
    if (m_writer.joinable())
        m_writer.join();
}
