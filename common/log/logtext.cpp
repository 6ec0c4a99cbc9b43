// SPDX-License-Identifier: MIT
#include "logtext.h"

namespace LogText {

namespace {
constexpr char16_t kFrameStart = 0xFDD0;
constexpr char16_t kFrameEnd = 0xFDD1;
constexpr char16_t kObjectMarker = 0xFFFC;
} // namespace

QString displayable(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        bool replace = c == 0 || c == kFrameStart || c == kFrameEnd || c == kObjectMarker;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i; // a whole pair
            continue;
        }
        replace = replace || QChar::isSurrogate(c);
        if (replace) {
            if (out.isNull())
                out = text;
            out[i] = QChar(c == 0 ? kNulStandIn : kMarkerStandIn);
        }
    }
    return out.isNull() ? text : out;
}

} // namespace LogText
