// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <vector>

// The log's stored bytes, in chunks that are never moved: growing never
// copies what is there. The chunks are mapped from the system apart from
// the heap, so that the short-lived large strings of a busy log (an entry
// being decoded and formatted) cannot leave holes between them that the heap
// then keeps; a chunk's pages are taken only as they are written. A chunk
// the system refuses throws std::bad_alloc, as the heap does.
class LogArena
{
public:
    static constexpr int kShift = 20;
    static constexpr qint64 kChunk = qint64(1) << kShift;

    LogArena() = default;
    LogArena(const LogArena &) = delete;
    LogArena &operator=(const LogArena &) = delete;
    ~LogArena() { clear(); }

    void append(const char *bytes, qint64 n)
    {
        while (n > 0) {
            const qint64 at = m_size & (kChunk - 1);
            if (at == 0 && qint64(m_chunks.size()) * kChunk == m_size)
                m_chunks.push_back(mapChunk());
            const qint64 take = std::min(n, kChunk - at);
            std::memcpy(m_chunks.back() + at, bytes, size_t(take));
            bytes += take;
            n -= take;
            m_size += take;
        }
    }
    unsigned char at(qint64 i) const
    {
        return static_cast<unsigned char>(m_chunks[size_t(i >> kShift)][i & (kChunk - 1)]);
    }
    // Hands out [from, from + n) as contiguous spans.
    template<typename Sink>
    void spans(qint64 from, qint64 n, Sink sink) const
    {
        while (n > 0) {
            const qint64 at = from & (kChunk - 1);
            const qint64 take = std::min(n, kChunk - at);
            sink(m_chunks[size_t(from >> kShift)] + at, take);
            from += take;
            n -= take;
        }
    }
    qint64 size() const { return m_size; }
    qint64 reserved() const { return qint64(m_chunks.size()) * kChunk; }
    // Gives every chunk back to the system.
    void clear();

private:
    static char *mapChunk();

    std::vector<char *> m_chunks;
    qint64 m_size = 0;
};
