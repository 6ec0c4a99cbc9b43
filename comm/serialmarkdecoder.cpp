// SPDX-License-Identifier: MIT
#include "serialmarkdecoder.h"

#include <cstring>

SerialMarkDecoder::Marks SerialMarkDecoder::decode(const char *raw, qsizetype size, QByteArray &out)
{
    Marks marks;
    const char *p = raw;
    const char *const end = raw + size;
    while (p < end) {
        switch (m_state) {
        case Plain: {
            // Most input holds no mark at all: copy the run up to the next
            // 0xFF in one piece.
            const char *ff = static_cast<const char *>(memchr(p, '\377', size_t(end - p)));
            const char *runEnd = ff ? ff : end;
            out.append(p, runEnd - p);
            p = runEnd;
            if (ff) {
                m_state = AfterFF;
                ++p;
            }
            break;
        }
        case AfterFF:
            if (*p == '\377') {
                out.append('\377');
                m_state = Plain;
            } else if (*p == '\0') {
                m_state = AfterFFNul;
            } else {
                // Not a mark the kernel writes (marking was off when the
                // byte came in): keep both bytes as they are.
                out.append('\377');
                out.append(*p);
                m_state = Plain;
            }
            ++p;
            break;
        case AfterFFNul:
            // A NUL received with an error is what a break looks like on
            // the wire; the kernel marks both the same way.
            if (*p == '\0') {
                ++marks.breaks;
            } else {
                ++marks.errors;
                out.append(kReplacement);
            }
            m_state = Plain;
            ++p;
            break;
        }
    }
    return marks;
}
