// SPDX-License-Identifier: MIT
// SerialMarkDecoder: however the marked input is cut into reads, the same
// bytes and the same count of breaks and error bytes as one piece, and that
// one piece as a plain reading of the kernel's marks gives.
//
// Input: one byte that seeds how the stream is cut, then the stream.

#include "fuzzcheck.h"
#include "serialmarkdecoder.h"

#include <cstdint>
#include <vector>

namespace {

struct Decoded
{
    QByteArray bytes;
    qint64 breaks = 0;
    qint64 errors = 0;
};

Decoded inReads(const QByteArray &stream, const std::vector<size_t> &pieces)
{
    SerialMarkDecoder decoder;
    Decoded d;
    qsizetype at = 0;
    for (const size_t piece : pieces) {
        const qsizetype before = d.bytes.size();
        const SerialMarkDecoder::Marks marks = decoder.decode(stream.constData() + at, qsizetype(piece), d.bytes);
        // Never more out than in, apart from a 0xFF held from the read
        // before that turns out to be no mark.
        FUZZ_CHECK(d.bytes.size() - before <= qsizetype(piece) + 1);
        FUZZ_CHECK(marks.breaks >= 0 && marks.errors >= 0);
        d.breaks += marks.breaks;
        d.errors += marks.errors;
        at += qsizetype(piece);
    }
    FUZZ_CHECK(at == stream.size());
    return d;
}

// The marks read with the whole stream in view: "\377\377" a 0xFF,
// "\377\0\0" a break, "\377\0X" X with an error, "\377" and any other byte
// both bytes as they are. A mark the stream ends inside is still waiting
// for its rest, so it shows nothing yet.
Decoded reference(const QByteArray &s)
{
    Decoded d;
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const char b = s.at(i);
        if (b != '\377') {
            d.bytes += b;
            ++i;
        } else if (i + 1 == n) {
            break;
        } else if (s.at(i + 1) == '\377') {
            d.bytes += '\377';
            i += 2;
        } else if (s.at(i + 1) != '\0') {
            d.bytes += '\377';
            d.bytes += s.at(i + 1);
            i += 2;
        } else if (i + 2 == n) {
            break;
        } else {
            if (s.at(i + 2) == '\0') {
                ++d.breaks;
            } else {
                ++d.errors;
                d.bytes += SerialMarkDecoder::kReplacement;
            }
            i += 3;
        }
    }
    return d;
}

void checkSame(const Decoded &got, const Decoded &want)
{
    FUZZ_CHECK_EQ(got.bytes, want.bytes);
    FUZZ_CHECK_EQ(got.breaks, want.breaks);
    FUZZ_CHECK_EQ(got.errors, want.errors);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t seed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const size_t n = size_t(stream.size());

    const Decoded whole = inReads(stream, {n});
    checkSame(whole, reference(stream));
    checkSame(inReads(stream, std::vector<size_t>(n, 1)), whole);
    checkSame(inReads(stream, fuzz::cuts(seed, n)), whole);

    // After reset() the decoder reads a new stream as if it were new, even
    // when the old one ended inside a mark.
    {
        SerialMarkDecoder decoder;
        QByteArray out;
        decoder.decode("\377\0", 2, out);
        decoder.reset();
        out.clear();
        const SerialMarkDecoder::Marks marks = decoder.decode(stream.constData(), stream.size(), out);
        checkSame({out, marks.breaks, marks.errors}, whole);
    }
    return 0;
}
