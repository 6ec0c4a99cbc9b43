// SPDX-License-Identifier: MIT
#include "logarena.h"

#include <utility>

#include <sys/mman.h>

LogArena::LogArena() : m_spare(mapChunk())
{
}

LogArena::~LogArena()
{
    release();
    if (m_spare)
        ::munmap(m_spare, size_t(kChunk));
}

bool LogArena::reserve(qint64 n, bool mayUseSpare)
{
    // The chunks [m_size, m_size + n) needs, mapped before anything is
    // written, so that a refusal changes nothing.
    while (qint64(m_chunks.size()) * kChunk < m_size + n) {
        char *chunk = s_chunkLimit < 0 || int(m_chunks.size()) < s_chunkLimit ? mapChunk() : nullptr;
        if (!chunk && mayUseSpare && n <= kChunk)
            chunk = std::exchange(m_spare, nullptr);
        if (!chunk)
            return false;
        m_chunks.push_back(chunk);
    }
    return true;
}

void LogArena::release()
{
    for (char *chunk : m_chunks)
        ::munmap(chunk, size_t(kChunk));
    std::vector<char *>().swap(m_chunks);
    m_size = 0;
}

void LogArena::clear()
{
    release();
    if (!m_spare)
        m_spare = mapChunk();
}

char *LogArena::mapChunk()
{
    void *p = ::mmap(nullptr, size_t(kChunk), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char *>(p);
}
