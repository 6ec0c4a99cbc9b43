// SPDX-License-Identifier: MIT
#include "checksum.h"

#include <QTest>

class TstChecksum : public QObject
{
    Q_OBJECT
private slots:
    void publishedCheckValues_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("appended");
        const QByteArray check("123456789");
        // The catalogue's check values over "123456789", in the order sent.
        QTest::newRow("SUM-8") << int(Checksum::Sum8) << check << QByteArray::fromHex("DD");
        QTest::newRow("XOR-8") << int(Checksum::Xor8) << check << QByteArray::fromHex("31");
        QTest::newRow("CRC-16/MODBUS (0x4B37, low first)") << int(Checksum::Crc16Modbus) << check
                                                            << QByteArray::fromHex("374B");
        QTest::newRow("CRC-16/CCITT-FALSE (0x29B1, high first)") << int(Checksum::Crc16CcittFalse) << check
                                                                  << QByteArray::fromHex("29B1");
        QTest::newRow("CRC-32 (0xCBF43926, low first)") << int(Checksum::Crc32) << check
                                                         << QByteArray::fromHex("2639F4CB");
        QTest::newRow("Modbus read request") << int(Checksum::Crc16Modbus) << QByteArray::fromHex("01030000000A")
                                             << QByteArray::fromHex("C5CD");
        QTest::newRow("none") << int(Checksum::None) << check << QByteArray();
        QTest::newRow("SUM-8 wraps") << int(Checksum::Sum8) << QByteArray::fromHex("FF02") << QByteArray::fromHex("01");
        QTest::newRow("CRC-16/MODBUS of nothing") << int(Checksum::Crc16Modbus) << QByteArray()
                                                  << QByteArray::fromHex("FFFF");
    }
    void publishedCheckValues()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, appended);
        QCOMPARE(checksumBytes(Checksum(kind), data).toHex(), appended.toHex());
    }

    void crc32CarriesOnAcrossPieces()
    {
        // A file is checked a piece at a time: the pieces give the whole's.
        QByteArray whole;
        for (int i = 0; i < 100000; ++i)
            whole.append(char(i * 7 + i / 256));
        quint32 crc = 0;
        for (qsizetype at = 0; at < whole.size(); at += 4093)
            crc = crc32(QByteArrayView(whole).sliced(at, std::min<qsizetype>(4093, whole.size() - at)), crc);
        QCOMPARE(crc, crc32(whole));
        QCOMPARE(crc32(QByteArrayView()), 0u);
    }
};

QTEST_APPLESS_MAIN(TstChecksum)
#include "tst_checksum.moc"
