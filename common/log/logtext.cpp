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

QString dataSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 字节").arg(bytes);
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    for (; value >= 1024 && unit < 3; ++unit)
        value /= 1024;
    const bool whole = value >= 10 || value == double(qint64(value));
    return QString::number(value, 'f', whole ? 0 : 1) + u' ' + QLatin1String(units[unit]);
}

} // namespace LogText
