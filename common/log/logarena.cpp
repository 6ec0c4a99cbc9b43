// SPDX-License-Identifier: MIT
#include "logarena.h"

#include "logtext.h"
#include "spoolfile.h"
#include "syserror.h"

#include <QFile>

#include <cerrno>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace {

// What may be taken from memory when the disk refuses: a quarter of the
// machine's, so that the rest of the system lives on.
qint64 memoryBound()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / 4 : qint64(1) << 30;
}

} // namespace

LogArena::LogArena() : m_spare(mapMemory())
{
}

LogArena::~LogArena()
{
    release();
    if (m_spare)
        ::munmap(m_spare, size_t(kChunk));
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LogArena::reserve(qint64 n, bool mayUseSpare)
{
    // The chunks behind the one being written are full: their pages go to
    // the disk and need not stay.
    const qint64 behind = std::min((m_size >> kShift) - 1, m_fileChunks);
    if (m_dropped < behind) {
        ::sync_file_range(m_fd, m_dropped * kChunk, (behind - m_dropped) * kChunk, SYNC_FILE_RANGE_WRITE);
        dropPages(m_dropped, behind - 1);
        m_dropped = behind;
    }
    // The chunks [m_size, m_size + n) needs, mapped before anything is
    // written, so that a refusal changes nothing.
    while (qint64(m_chunks.size()) * kChunk < m_size + n) {
        // Room in the list first: a chunk taken from the file must be in
        // it, at the place its offset says.
        if (m_chunks.size() == m_chunks.capacity())
            m_chunks.reserve(std::max<size_t>(16, m_chunks.size() * 2));
        char *chunk = nullptr;
        if (s_chunkLimit < 0 || int(m_chunks.size()) < s_chunkLimit)
            chunk = m_notice.isEmpty() ? mapFileChunk() : mapMemoryChunk();
        if (!chunk && mayUseSpare && n <= kChunk)
            chunk = std::exchange(m_spare, nullptr);
        if (!chunk)
            return false;
        m_chunks.push_back(chunk);
    }
    return true;
}

char *LogArena::mapFileChunk()
{
    Problem why;
    // The folder is looked up when a file is opened, not for every chunk.
    if (m_fd < 0)
        m_fd = openSpoolFile(m_folder = spoolFolder(), "log", &why);
    const QString &folder = m_folder;
    struct statvfs disk = {};
    const bool known = m_fd >= 0 ? ::fstatvfs(m_fd, &disk) == 0
                                 : ::statvfs(QFile::encodeName(folder).constData(), &disk) == 0;
    const qint64 free = known ? qint64(disk.f_bavail) * qint64(disk.f_frsize) : -1;
    // The log never takes the last of a disk: what other programs need
    // (1 GiB, or a twentieth of a smaller disk) is left to them.
    const qint64 left = known ? std::min<qint64>(qint64(1) << 30, qint64(disk.f_blocks) * qint64(disk.f_frsize) / 20) : 0;
    if (m_fd >= 0) {
        const qint64 offset = m_fileChunks * kChunk;
        if (known && free >= kChunk && free - kChunk < left) {
            why = Problem(QStringLiteral("%1：磁盘的最后 %2 留给其他程序").arg(folder, LogText::dataSize(left)));
        } else if (const int error = ::posix_fallocate(m_fd, offset, kChunk); error != 0) {
            // Taken before it is mapped: a write into a mapped page the
            // disk has no room for would kill the program.
            why = systemProblem(folder, error);
        } else if (void *p = ::mmap(nullptr, size_t(kChunk), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, offset);
                   p == MAP_FAILED) {
            why = systemProblem();
        } else {
            ++m_fileChunks;
            return static_cast<char *>(p);
        }
    }
    // From here on, memory (until the log is cleared): the notice says so.
    m_notice = QStringLiteral("日志无法再存入磁盘（%1；需要 %2，可用 %3）：从上一项起，信息保存在内存中，最多 %4")
                   .arg(why.description(), LogText::dataSize(kChunk),
                        free < 0 ? QStringLiteral("未知") : LogText::dataSize(free), LogText::dataSize(memoryBound()));
    return mapMemoryChunk();
}

void LogArena::writeFile(const char *bytes, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const ssize_t wrote = retryOnInterrupt([&] { return ::pwrite(m_fd, bytes + done, size_t(n - done), m_size + done); });
        if (wrote <= 0)
            break;
        done += wrote;
    }
    // The space is taken already: only a failing disk refuses, and then
    // the rest goes through the mapping.
    if (done < n) {
        const qint64 at = m_size + done;
        std::memcpy(m_chunks[size_t(at >> kShift)] + (at & (kChunk - 1)), bytes + done, size_t(n - done));
    }
}

char *LogArena::mapMemoryChunk()
{
    if (chunksInMemory() * kChunk + kChunk > memoryBound())
        return nullptr;
    return mapMemory();
}

char *LogArena::mapMemory()
{
    void *p = ::mmap(nullptr, size_t(kChunk), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char *>(p);
}

qint64 LogArena::find(unsigned char value, qint64 from, qint64 to, bool last) const
{
    while (to > from) {
        // One chunk's part at a time, from the near end.
        const qint64 at = last ? std::max(from, (to - 1) & ~(kChunk - 1)) : from;
        const qint64 take = last ? to - at : std::min(to - from, kChunk - (from & (kChunk - 1)));
        const char *bytes = m_chunks[size_t(at >> kShift)] + (at & (kChunk - 1));
        const void *hit = last ? ::memrchr(bytes, value, size_t(take)) : std::memchr(bytes, value, size_t(take));
        noteRead(at, take);
        if (hit)
            return at + (static_cast<const char *>(hit) - bytes);
        if (last)
            to = at;
        else
            from += take;
    }
    return -1;
}

void LogArena::noteRead(qint64 from, qint64 n) const
{
    if (n <= 0 || m_fileChunks == 0)
        return;
    const qint64 first = from >> kShift;
    const qint64 last = (from + n - 1) >> kShift;
    m_readFirst = m_readFirst < 0 ? first : std::min(m_readFirst, first);
    m_readLast = std::max(m_readLast, last);
    m_readBytes += n;
    if (m_readBytes < kReadKept)
        return;
    dropPages(m_readFirst, m_readLast);
    m_readBytes = 0;
    m_readFirst = m_readLast = -1;
}

void LogArena::dropPages(qint64 first, qint64 last) const
{
    // For a shared mapping of a file this only unmaps: the pages stay in
    // the file (and in the system's cache while it has room), and come
    // back when read. The chunk being written, and the one before it, stay.
    last = std::min({last, m_fileChunks - 1, (m_size >> kShift) - 2});
    for (qint64 c = std::max<qint64>(0, first); c <= last; ++c)
        ::madvise(m_chunks[size_t(c)], size_t(kChunk), MADV_DONTNEED);
}

QString LogArena::notice()
{
    if (m_noticeTaken || m_notice.isEmpty())
        return QString();
    m_noticeTaken = true;
    return m_notice;
}

void LogArena::release()
{
    for (char *chunk : m_chunks)
        ::munmap(chunk, size_t(kChunk));
    std::vector<char *>().swap(m_chunks);
    m_size = 0;
    m_fileChunks = 0;
    m_dropped = 0;
    m_readBytes = 0;
    m_readFirst = m_readLast = -1;
    // The disk's space back to the system, on a thread of its own: closing
    // the last hold on a large unnamed file drops it from the system's
    // cache then and there, which for gigabytes takes a second. The next
    // chunk starts a new file.
    if (m_fd >= 0) {
        const int fd = std::exchange(m_fd, -1);
        try {
            std::thread([fd] { ::close(fd); }).detach();
        } catch (const std::system_error &) {
            ::close(fd);
        }
    }
}

void LogArena::clear()
{
    release();
    m_notice.clear();
    m_noticeTaken = false;
    if (!m_spare)
        m_spare = mapMemory();
}
