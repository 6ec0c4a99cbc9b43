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
    for (const char c : data)
        crc = (crc >> 8) ^ kCrc32[(crc ^ quint8(c)) & 0xFF];
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
