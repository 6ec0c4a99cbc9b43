// SPDX-License-Identifier: MIT
#include "textdecoder.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// What a lead byte starts: the sequence's length (0 for a byte that cannot
// start one) and the range its second byte must fall in. Every later byte
// is 0x80-0xBF. The narrow second ranges shut out overlong forms,
// surrogates and code points beyond U+10FFFF.
struct Lead
{
    int length;
    unsigned char low, high;
};

Lead leadOf(unsigned char b)
{
    if (b >= 0xC2 && b <= 0xDF)
        return {2, 0x80, 0xBF};
    if (b == 0xE0)
        return {3, 0xA0, 0xBF};
    if (b == 0xED)
        return {3, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF)
        return {3, 0x80, 0xBF};
    if (b == 0xF0)
        return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3)
        return {4, 0x80, 0xBF};
    if (b == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Whether `b` may stand at `position` (1 and up) of a sequence that `lead`
// starts.
bool continues(const Lead &lead, int position, unsigned char b)
{
    return position == 1 ? (b >= lead.low && b <= lead.high) : (b >= 0x80 && b <= 0xBF);
}

// Writes the character of one complete, valid sequence.
char16_t *put(char16_t *out, const unsigned char *s, int length)
{
    char32_t c;
    switch (length) {
    case 2: c = char32_t(s[0] & 0x1F) << 6 | (s[1] & 0x3F); break;
    case 3: c = char32_t(s[0] & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F); break;
    default:
        c = char32_t(s[0] & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12 | char32_t(s[2] & 0x3F) << 6 | (s[3] & 0x3F);
        break;
    }
    if (c < 0x10000) {
        *out++ = char16_t(c);
    } else {
        c -= 0x10000;
        *out++ = char16_t(0xD800 + (c >> 10));
        *out++ = char16_t(0xDC00 + (c & 0x3FF));
    }
    return out;
}

} // namespace

QString StreamTextDecoder::decode(const char *data, qsizetype size)
{
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    // Never more UTF-16 units than bytes, plus one for a held sequence that
    // turns into U+FFFD.
    QString text(size + 1, Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    qsizetype i = 0;

    if (m_heldSize > 0) {
        const Lead lead = leadOf(m_held[0]);
        unsigned char whole[4] = {m_held[0], m_held[1], m_held[2], 0};
        int have = m_heldSize;
        while (have < lead.length && i < size && continues(lead, have, in[i]))
            whole[have++] = in[i++];
        if (have == lead.length) {
            out = put(out, whole, have);
            m_heldSize = 0;
        } else if (i == size) {
            // Still cut: keep holding, now longer.
            for (int k = m_heldSize; k < have; ++k)
                m_held[k] = whole[k];
            m_heldSize = have;
        } else {
            // Not continued: the held bytes are one maximal subpart; the
            // byte that broke it is read afresh below.
            *out++ = kReplacement;
            m_heldSize = 0;
        }
    }

    while (i < size) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            *out++ = b;
            ++i;
            continue;
        }
        const Lead lead = leadOf(b);
        if (lead.length == 0) {
            *out++ = kReplacement;
            ++i;
            continue;
        }
        int have = 1;
        while (have < lead.length && i + have < size && continues(lead, have, in[i + have]))
            ++have;
        if (have == lead.length) {
            out = put(out, in + i, have);
        } else if (i + have == size) {
            // Cut by the end of this read: the next may complete it.
            for (int k = 0; k < have; ++k)
                m_held[k] = in[i + k];
            m_heldSize = have;
        } else {
            *out++ = kReplacement;
        }
        i += have;
    }
    text.truncate(out - begin);
    return text;
}

QString StreamTextDecoder::finish()
{
    if (m_heldSize == 0)
        return QString();
    m_heldSize = 0;
    return QString(QChar(kReplacement));
}

QByteArray StreamTextDecoder::takeHeld()
{
    const QByteArray held(reinterpret_cast<const char *>(m_held), m_heldSize);
    m_heldSize = 0;
    return held;
}
