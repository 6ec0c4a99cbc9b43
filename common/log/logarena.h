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
// then keeps; a chunk's pages are taken only as they are written.
//
// Room is reserved before it is written: a chunk the system refuses leaves
// the arena as it was. One chunk is set aside, mapped but untouched (it
// costs no memory), for the few words that say the log can grow no more.
class LogArena
{
public:
    static constexpr int kShift = 20;
    static constexpr qint64 kChunk = qint64(1) << kShift;

    LogArena();
    LogArena(const LogArena &) = delete;
    LogArena &operator=(const LogArena &) = delete;
    ~LogArena();

    // Makes room for `n` more bytes; false when the system gives no more
    // (then, while the spare chunk is left and `n` fits it, that is used).
    bool reserve(qint64 n, bool mayUseSpare);
    // Writes `n` bytes, within what was reserved.
    void append(const char *bytes, qint64 n)
    {
        while (n > 0) {
            const qint64 at = m_size & (kChunk - 1);
            const qint64 take = std::min(n, kChunk - at);
            std::memcpy(m_chunks[size_t(m_size >> kShift)] + at, bytes, size_t(take));
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
    // Gives every chunk back to the system (the spare, once used, is made
    // again).
    void clear();

    // For tests: the system gives an arena no more than `chunks` chunks
    // besides its spare (negative: no limit).
    static void limitChunksForTests(int chunks) { s_chunkLimit = chunks; }

private:
    static char *mapChunk();
    void release();

    static inline int s_chunkLimit = -1;

    std::vector<char *> m_chunks;
    char *m_spare = nullptr;
    qint64 m_size = 0;
};
