// SPDX-License-Identifier: MIT
#pragma once

#include "namedchoice.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The checks a byte send can end in, each appended in the byte order it is
// usually sent in: SUM-8 and XOR-8 one byte; CRC-16/MODBUS low byte first
// (as Modbus RTU frames carry it); CRC-16/CCITT-FALSE high byte first (as
// XMODEM-like links carry theirs); CRC-32 low byte first (as Ethernet and
// gzip carry it).
enum class Checksum { None, Sum8, Xor8, Crc16Modbus, Crc16CcittFalse, Crc32 };

inline constexpr NamedChoice<Checksum> kChecksums[] = {
    {Checksum::None, "无", "none"},
    {Checksum::Sum8, "SUM-8", "sum8"},
    {Checksum::Xor8, "XOR-8", "xor8"},
    {Checksum::Crc16Modbus, "CRC-16/MODBUS", "crc16-modbus"},
    {Checksum::Crc16CcittFalse, "CRC-16/CCITT-FALSE", "crc16-ccitt"},
    {Checksum::Crc32, "CRC-32", "crc32"},
};

// The bytes `kind` appends to `data` (none for Checksum::None).
QByteArray checksumBytes(Checksum kind, QByteArrayView data);

// CRC-32 (the reflected 0xEDB88320 of zlib and Ethernet), carried on across
// pieces: start from 0, feed each piece with the value of the one before.
quint32 crc32(QByteArrayView data, quint32 previous = 0);
