// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <vector>

// The log's stored bytes, in chunks that are never moved: growing never
// copies what is there.
//
// The chunks live in an unnamed file in the user's cache folder, written
// to it and read through a mapping of it: the log can outgrow memory, the
// system writes its pages out and drops them as it needs, and nothing is
// left behind however the program ends. Each chunk's disk space is taken
// before it is mapped, so a full disk is a refusal then, never a fault when
// a page is written; the last of a disk is left to other programs. The
// pages a long read went through (a find, a copy, a save), and those of
// full chunks behind the writer, are given back: what stays resident is
// what was just read and written.
//
// When the folder cannot hold the file (or the disk fills), the chunks are
// taken from memory instead, up to a quarter of the machine's memory, and
// notice() says so once.
//
// Room is reserved before it is written: a chunk the system refuses leaves
// the arena as it was. One chunk is set aside in memory, mapped but
// untouched (it costs nothing), for the few words that say the log can grow
// no more.
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
    // Writes `n` bytes, within what was reserved. Into the file they go as
    // writes, not through the mapping: a page written through a mapping is
    // first faulted in, read and zeroed, at twice the cost.
    void append(const char *bytes, qint64 n)
    {
        while (n > 0) {
            const qint64 at = m_size & (kChunk - 1);
            const qint64 take = std::min(n, kChunk - at);
            if ((m_size >> kShift) < m_fileChunks)
                writeFile(bytes, take);
            else
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
            noteRead(from, take);
            from += take;
            n -= take;
        }
    }
    // Where the first (or, `last`, the last) byte `value` of [from, to) is
    // stored, or -1.
    qint64 find(unsigned char value, qint64 from, qint64 to, bool last) const;
    // A read of [from, from + n) through at(): counted with those of
    // spans(), so that its pages are given back in time too.
    void noteRead(qint64 from, qint64 n) const;

    qint64 size() const { return m_size; }
    qint64 reserved() const { return qint64(m_chunks.size()) * kChunk; }
    // Chunks kept in memory rather than in the file.
    qint64 chunksInMemory() const { return qint64(m_chunks.size()) - m_fileChunks; }
    // Gives every chunk back to the system (the spare, once used, is made
    // again) and tries the disk again.
    void clear();

    // Why the log went into memory, with what the disk needed and had;
    // said once (empty afterwards, and while all is on disk).
    QString notice();

    // For tests: the system gives an arena no more than `chunks` chunks
    // besides its spare (negative: no limit).
    static void limitChunksForTests(int chunks) { s_chunkLimit = chunks; }

private:
    // Writes at m_size in the file, within one chunk.
    void writeFile(const char *bytes, qint64 n);
    static char *mapMemory();
    char *mapFileChunk();
    char *mapMemoryChunk();
    void release();
    // Gives back the resident pages of file chunks [first, last], but for
    // the one being written and the one before it.
    void dropPages(qint64 first, qint64 last) const;

    static inline int s_chunkLimit = -1;
    static constexpr qint64 kReadKept = 64 * kChunk;

    std::vector<char *> m_chunks;
    char *m_spare = nullptr;
    qint64 m_size = 0;
    // The file, and how many chunks from the first are in it (the rest,
    // after a refusal, are in memory).
    int m_fd = -1;
    qint64 m_fileChunks = 0;
    qint64 m_dropped = 0; // the chunks behind the writer given back so far
    QString m_folder; // where the file was opened
    // Set when the disk refused: from then on (until cleared), memory.
    QString m_notice;
    bool m_noticeTaken = false;
    // The chunks read since their pages were last given back.
    mutable qint64 m_readBytes = 0;
    mutable qint64 m_readFirst = -1, m_readLast = -1;
};
