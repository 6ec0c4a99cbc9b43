// SPDX-License-Identifier: MIT
// The log's find: FoldedMatcher finds a needle, forward and backward from
// any position, exactly where a plain model finds it: every place tried in
// turn with QString's case-insensitive comparison. (The model, not
// QString::lastIndexOf: that one finds a NUL needle in the terminator just
// past the end.) Needles with surrogates are left to QString and not
// checked.
//
// Input: the first byte picks the needle's length (1 to 8) and the start
// position; the rest is typed text (ASCII as itself, higher bytes as
// characters whose case folding is unusual, runs of one character), the
// needle taken from its front and the text being the rest, followed by the
// needle again in the other case so that matches are common.

#include "fuzzcheck.h"
#include "logsearch.h"

#include <algorithm>

namespace {

constexpr qsizetype kLongestText = 4000;

QString textFrom(const uint8_t *data, size_t size)
{
    static const char16_t odd[] = {
        0x212A, 0x017F, 0x00DF, 0x1E9E, 0x03A3, 0x03C3, 0x03C2, 0x0130,
        0x0131, 0xFF21, 0xFF41, 0x4E2D, 0xD801, 0xDC00, 0xDC28, 0xD800,
        0x00C5, 0x212B, 0x00E5, 0x01C4, 0x01C5, 0x01C6, 0x13A0, 0xAB70,
    };
    static const char16_t runOf[] = {
        u' ', u'a', u'A', u'0', u'k', u'K', 0x212A, u's',
        0x017F, u'S', u'\n', 0x00DF, u'F', u'7', u'e', u'1',
    };
    return fuzz::typedText(data, size, odd, runOf, kLongestText);
}

qsizetype modelIndexIn(const QString &text, const QString &needle, qsizetype from)
{
    for (qsizetype at = from; at + needle.size() <= text.size(); ++at)
        if (QStringView(text).mid(at, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
            return at;
    return -1;
}

qsizetype modelLastIndexIn(const QString &text, const QString &needle, qsizetype from)
{
    for (qsizetype at = std::min(from, text.size() - needle.size()); at >= 0; --at)
        if (QStringView(text).mid(at, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
            return at;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int length = 1 + data[0] % 8;
    QString text = textFrom(data + 1, size - 1);
    const QString needle = text.left(length);
    text.remove(0, needle.size());
    // A needle with surrogates is handed to QString itself, whose folding
    // of lone halves differs from its comparison's; the log holds none.
    if (needle.isEmpty() || std::any_of(needle.begin(), needle.end(), [](QChar c) { return c.isSurrogate(); }))
        return 0;
    text += needle.isUpper() ? needle.toLower() : needle.toUpper();
    const FoldedMatcher matcher(needle);
    const qsizetype from = (data[0] / 8) * text.size() / 31;
    FUZZ_CHECK_EQ(qint64(matcher.indexIn(text, from)), qint64(modelIndexIn(text, needle, from)));
    FUZZ_CHECK_EQ(qint64(matcher.lastIndexIn(text, from)), qint64(modelLastIndexIn(text, needle, from)));
    return 0;
}
