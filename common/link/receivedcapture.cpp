// SPDX-License-Identifier: MIT
#include "receivedcapture.h"

#include "savefile.h"
#include "spoolfile.h"
#include "syserror.h"

#include <QIODevice>

#include <algorithm>
#include <new>
#include <fcntl.h>
#include <unistd.h>

ReceivedCapture::ReceivedCapture(KeptReader kept) : m_kept(std::move(kept))
{
}

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
    // The run is there before the bytes are: a refusal of memory leaves
    // the spool as it was.
    if (m_runs.empty() || !m_runs.back().spooled) {
        try {
            m_runs.push_back(Run{KeptPlace{0, m_size}, 0, true});
        } catch (const std::bad_alloc &) {
            m_lost = Problem(QStringLiteral("内存不足"));
            return;
        }
    }
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
    m_runs.back().n += bytes.size();
}

void ReceivedCapture::appendKept(KeptPlace place, qint64 n)
{
    if (n <= 0 || m_lost)
        return;
    if (!m_runs.empty() && !m_runs.back().spooled && m_runs.back().place.emptied == place.emptied
        && m_runs.back().place.at + m_runs.back().n == place.at) {
        m_runs.back().n += n;
        return;
    }
    try {
        m_runs.push_back(Run{place, n, false});
    } catch (const std::bad_alloc &) {
        // Without its place these bytes cannot be read back: the capture
        // says it is not whole rather than leave them out unsaid.
        m_lost = Problem(QStringLiteral("内存不足"));
    }
}

void ReceivedCapture::clear()
{
    std::deque<Run>().swap(m_runs);
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
    Problem gone;
    const Problem problem = saveFile(path, [&](QIODevice &out) {
        bool refused = false; // by the file: its own error says why
        const KeptSink write = [&](const char *bytes, qint64 n) { return !(refused = out.write(bytes, n) != n); };
        for (const Run &run : m_runs) {
            if (!run.spooled) {
                if (!m_kept || !m_kept(run.place, run.n, write)) {
                    if (!refused)
                        gone = Problem(QStringLiteral("接收数据已不在信息中"));
                    return false;
                }
                continue;
            }
            char buffer[1 << 16];
            for (qint64 at = run.place.at, end = at + run.n; at < end;) {
                const ssize_t n = retryOnInterrupt(
                    [&] { return ::pread(m_fd, buffer, size_t(std::min<qint64>(sizeof buffer, end - at)), at); });
                if (n <= 0) {
                    gone = n < 0 ? systemProblem() : Problem(QStringLiteral("接收数据的暂存文件短了"));
                    return false;
                }
                if (!write(buffer, n))
                    return false;
                at += n;
            }
        }
        return true;
    });
    return gone ? gone : problem;
}
