// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// Undoes the kernel's input marking (PARMRK with IGNPAR clear): "\377\377"
// is a literal 0xFF, "\377\0\0" a break, "\377\0X" byte X received with a
// framing or parity error. A mark may be cut between two reads, so the
// decoder keeps what it has seen of one until the next read.
class SerialMarkDecoder
{
public:
    // What the marks of one decode() call said about the line.
    struct Marks
    {
        int breaks = 0;
        int errors = 0; // bytes received with a framing or parity error
    };

    // Appends the data in `raw` to `out`, marks removed; a byte received
    // with an error is appended as the replacement character.
    Marks decode(const char *raw, qsizetype size, QByteArray &out);
    void reset() { m_state = Plain; }

    static constexpr char kReplacement = '?';

private:
    enum State { Plain, AfterFF, AfterFFNul };
    State m_state = Plain;
};
