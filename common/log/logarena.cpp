// SPDX-License-Identifier: MIT
#include "logarena.h"

#include <new>

#include <sys/mman.h>

void LogArena::clear()
{
    for (char *chunk : m_chunks)
        ::munmap(chunk, size_t(kChunk));
    std::vector<char *>().swap(m_chunks);
    m_size = 0;
}

char *LogArena::mapChunk()
{
    void *p = ::mmap(nullptr, size_t(kChunk), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<char *>(p);
}
