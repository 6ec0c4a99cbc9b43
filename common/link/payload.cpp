// SPDX-License-Identifier: MIT
#include "payload.h"

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

quint32 hexGroupValue(QStringView group)
{
    quint32 value = 0;
    for (const QChar c : group) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        value = value * 16 + quint32(digit);
    }
    return value;
}

HexPayload ParseHexPayload(const QString &text)
{
    HexPayload result;
    QString rest = text;
    int n = 0;
    for (;;) {
        ++n;
        if (n > kMaxPayloadTokens) {
            result.beyondLimits = true;
            result.bytes.clear();
            return result;
        }
        result.bytes.append('\0');
        const qsizetype p = rest.indexOf(u' ') + 1; // 1-based, 0 when none
        if (p > kMaxSpacePosition) {
            result.beyondLimits = true;
            result.bytes.clear();
            return result;
        }
        if (p == 0)
            break;
        result.bytes[n - 1] = char(hexGroupValue(QStringView(rest).left(2)));
        rest = trimSpaces(rest.mid(p));
    }
    result.bytes[n - 1] = char(hexGroupValue(QStringView(rest).left(2)));
    return result;
}

QString FormatHexBytes(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size() * kMostListed);
    char token[kMostListed];
    for (const char ch : bytes) {
        const int length = listByte(static_cast<unsigned char>(ch), token);
        out.append(QLatin1String(token, length));
    }
    return out;
}
