// SPDX-License-Identifier: MIT
#include "checksum.h"

#include <array>
#include <initializer_list>

namespace {

// The byte-at-a-time table of a reflected CRC with polynomial `poly`.
template<typename T>
constexpr std::array<T, 256> reflectedTable(T poly)
{
    std::array<T, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        T c = T(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? T((c >> 1) ^ poly) : T(c >> 1);
        table[i] = c;
    }
    return table;
}

constexpr auto kCrc32 = reflectedTable<quint32>(0xEDB88320u);

// Eight tables for eight bytes at a time (a file of gigabytes is checked as
// it goes out): table k gives a byte's effect k bytes further on.
constexpr std::array<std::array<quint32, 256>, 8> slicedTables()
{
    std::array<std::array<quint32, 256>, 8> t{};
    t[0] = kCrc32;
    for (unsigned i = 0; i < 256; ++i)
        for (int k = 1; k < 8; ++k)
            t[size_t(k)][i] = (t[size_t(k - 1)][i] >> 8) ^ kCrc32[t[size_t(k - 1)][i] & 0xFF];
    return t;
}
constexpr auto kCrc32By8 = slicedTables();
constexpr auto kModbus = reflectedTable<quint16>(0xA001u);

quint16 crc16Modbus(QByteArrayView data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data)
        crc = quint16((crc >> 8) ^ kModbus[(crc ^ quint8(c)) & 0xFF]);
    return crc;
}

// Not reflected: polynomial 0x1021, from 0xFFFF, bit by bit is short enough
// for a send of a few hundred bytes.
quint16 crc16CcittFalse(QByteArrayView data)
{
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= quint16(quint8(c) << 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

QByteArray bytesOf(std::initializer_list<quint32> values)
{
    QByteArray out;
    for (const quint32 v : values)
        out.append(char(v & 0xFF));
    return out;
}

} // namespace

quint32 crc32(QByteArrayView data, quint32 previous)
{
    quint32 crc = ~previous;
    const auto *p = reinterpret_cast<const quint8 *>(data.data());
    qsizetype n = data.size();
    for (; n >= 8; p += 8, n -= 8) {
        const quint32 low = crc ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
        crc = kCrc32By8[7][low & 0xFF] ^ kCrc32By8[6][(low >> 8) & 0xFF] ^ kCrc32By8[5][(low >> 16) & 0xFF]
            ^ kCrc32By8[4][low >> 24] ^ kCrc32By8[3][p[4]] ^ kCrc32By8[2][p[5]] ^ kCrc32By8[1][p[6]]
            ^ kCrc32By8[0][p[7]];
    }
    for (; n > 0; ++p, --n)
        crc = (crc >> 8) ^ kCrc32[(crc ^ *p) & 0xFF];
    return ~crc;
}

QByteArray checksumBytes(Checksum kind, QByteArrayView data)
{
    switch (kind) {
    case Checksum::None:
        return QByteArray();
    case Checksum::Sum8: {
        quint8 sum = 0;
        for (const char c : data)
            sum = quint8(sum + quint8(c));
        return QByteArray(1, char(sum));
    }
    case Checksum::Xor8: {
        quint8 x = 0;
        for (const char c : data)
            x ^= quint8(c);
        return QByteArray(1, char(x));
    }
    case Checksum::Crc16Modbus: {
        const quint16 crc = crc16Modbus(data);
        return bytesOf({crc, quint32(crc >> 8)});
    }
    case Checksum::Crc16CcittFalse: {
        const quint16 crc = crc16CcittFalse(data);
        return bytesOf({quint32(crc >> 8), crc});
    }
    case Checksum::Crc32: {
        const quint32 crc = crc32(data);
        return bytesOf({crc, crc >> 8, crc >> 16, crc >> 24});
    }
    }
    return QByteArray();
}
