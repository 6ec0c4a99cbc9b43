// SPDX-License-Identifier: MIT
#pragma once

// What the fuzz targets share: a check that stops the run with both sides
// shown, and a reproducible way to cut an input into reads.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {

inline QByteArray shown(const QByteArray &bytes)
{
    return bytes.toHex(' ');
}

// UTF-16 units in hex, so lone surrogates and stand-ins are visible.
inline QByteArray shown(const QString &text)
{
    QByteArray out;
    for (const QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0') + ' ';
    return out;
}

inline QByteArray shown(qint64 value)
{
    return QByteArray::number(value);
}

[[noreturn]] inline void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort(); // libFuzzer keeps the input as a crash artifact
}

template <typename T>
void failEqual(const char *file, int line, const char *what, const T &got, const T &want)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n  got:  %s\n  want: %s\n", file, line, what,
                 shown(got).constData(), shown(want).constData());
    std::abort();
}

// Where to cut `size` bytes into reads: a small generator seeded from the
// input, so a failing input cuts the same way again. Pieces of 0 to
// `longest` bytes; empty reads happen in practice and must change nothing.
inline std::vector<size_t> cuts(uint32_t seed, size_t size, size_t longest = 7)
{
    std::vector<size_t> pieces;
    uint32_t x = seed * 2654435761u + 1;
    if (x == 0) // xorshift's one fixed point
        x = 1;
    size_t done = 0;
    while (done < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const size_t piece = std::min(size_t(x % (longest + 1)), size - done);
        pieces.push_back(piece);
        done += piece;
    }
    return pieces;
}

// A text typed into a box, one character per input byte: ASCII as itself,
// 0x80 to 0xEF as one of `odd` (characters a reader could mistake for the
// ones it looks for), 0xF0 and up a run of up to 256 of one of `runOf`
// (its low four bits pick it; the next byte gives the length), so that long
// tokens and digit strings are in reach. At most `longest` characters.
template <size_t OddCount>
QString typedText(const uint8_t *data, size_t size, const char16_t (&odd)[OddCount], const char16_t (&runOf)[16],
                  qsizetype longest)
{
    QString text;
    for (size_t i = 0; i < size && text.size() < longest; ++i) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            text += QChar(char16_t(b));
        } else if (b < 0xF0) {
            text += QChar(odd[b % OddCount]);
        } else {
            const int length = i + 1 < size ? data[++i] + 1 : 1;
            text += QString(length, QChar(runOf[b & 0x0F]));
        }
    }
    return text;
}

} // namespace fuzz

#define FUZZ_CHECK(cond)                                                                                          \
    do {                                                                                                          \
        if (!(cond))                                                                                              \
            ::fuzz::fail(__FILE__, __LINE__, #cond);                                                              \
    } while (0)

#define FUZZ_CHECK_EQ(got, want)                                                                                  \
    do {                                                                                                          \
        const auto &fuzzGot_ = (got);                                                                             \
        const auto &fuzzWant_ = (want);                                                                           \
        if (!(fuzzGot_ == fuzzWant_))                                                                             \
            ::fuzz::failEqual(__FILE__, __LINE__, #got " == " #want, fuzzGot_, fuzzWant_);                        \
    } while (0)
