// SPDX-License-Identifier: MIT
#include "receivedcapture.h"

#include "savefile.h"
#include "spoolfile.h"
#include "syserror.h"

#include <QIODevice>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

ReceivedCapture::~ReceivedCapture()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ReceivedCapture::openSpool()
{
    if (m_fd < 0)
        m_fd = openSpoolFile(spoolFolder(), "capture", &m_lost);
    return m_fd >= 0;
}

void ReceivedCapture::append(const QByteArray &bytes)
{
    if (bytes.isEmpty() || m_lost || !openSpool())
        return;
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::pwrite(m_fd, bytes.constData() + done, size_t(bytes.size() - done), m_size + done);
        });
        if (n <= 0) {
            m_lost = systemProblem();
            return;
        }
        done += n;
    }
    m_size += bytes.size();
}

void ReceivedCapture::clear()
{
    m_size = 0;
    m_lost = Problem();
    // A spool that cannot be emptied is given up: the next append starts a
    // new one.
    if (m_fd >= 0 && ::ftruncate(m_fd, 0) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Problem ReceivedCapture::saveTo(const QString &path) const
{
    if (m_lost)
        return m_lost;
    return saveFile(path, [this](QIODevice &out) {
        char buffer[1 << 16];
        for (qint64 at = 0; at < m_size;) {
            const ssize_t n = retryOnInterrupt(
                [&] { return ::pread(m_fd, buffer, size_t(std::min<qint64>(sizeof buffer, m_size - at)), at); });
            if (n <= 0 || out.write(buffer, n) != n)
                return false;
            at += n;
        }
        return true;
    });
}
