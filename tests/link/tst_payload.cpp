// SPDX-License-Identifier: MIT
#include "payload.h"

#include <QTest>

// The send box's bytes mode and the byte listings of the log.
class TstPayload : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void limits_data();
    void limits();
    void listing_data();
    void listing();
    void trimKeepsOtherWhiteSpace();
};

void TstPayload::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("listing");

    QTest::newRow("three tokens") << "41 42 43" << QByteArray("\x41\x42\x43") << "  41  42  43";
    QTest::newRow("runs of spaces") << "41    42" << QByteArray("\x41\x42") << "  41  42";
    QTest::newRow("single digits") << "1 2" << QByteArray("\x01\x02") << "  1  2";
    QTest::newRow("first two characters only") << "123 4567" << QByteArray("\x12\x45") << "  12  45";
    QTest::newRow("lower case") << "a f" << QByteArray("\x0A\x0F") << "  A  F";
    QTest::newRow("no digit") << "GG" << QByteArray(1, '\0') << "  0";
    QTest::newRow("&H prefix reads as 0") << "&H41" << QByteArray(1, '\0') << "  0";
    QTest::newRow("0x prefix reads as 0") << "0x41" << QByteArray(1, '\0') << "  0";
    QTest::newRow("stops at non-digit") << "1G" << QByteArray("\x01") << "  1";
    QTest::newRow("comma is no separator") << "41,42" << QByteArray("\x41") << "  41";
    QTest::newRow("tab is no separator") << "41\t42" << QByteArray("\x41") << "  41";
    QTest::newRow("one digit") << "7" << QByteArray("\x07") << "  7";
    QTest::newRow("FF and 00") << "FF 00 0d" << QByteArray("\xFF\x00\x0D", 3) << "  FF  0  D";
    // The reader skips blanks inside its group: a tab before a digit.
    QTest::newRow("tab then digit") << "\t5" << QByteArray("\x05") << "  5";
    QTest::newRow("digit then tab") << "4\t" << QByteArray("\x04") << "  4";
    QTest::newRow("one-character token before a space") << "A B" << QByteArray("\x0A\x0B") << "  A  B";
}

void TstPayload::parse()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, listing);
    const HexPayload p = ParseHexPayload(text);
    QVERIFY(!p.beyondLimits);
    QCOMPARE(p.bytes, bytes);
    QCOMPARE(FormatHexBytes(p.bytes), listing);
}

void TstPayload::limits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("beyond");
    QTest::addColumn<int>("count");

    QStringList tokens;
    for (int i = 0; i < 255; ++i)
        tokens << QString::number(i % 256, 16);
    QTest::newRow("255 tokens") << tokens.join(u' ') << false << 255;
    QTest::newRow("256 tokens") << (tokens.join(u' ') + QStringLiteral(" 1")) << true << 0;
    // The next space may stand at position 255 at the most.
    QTest::newRow("254-character token then another") << (QString(254, u'a') + QStringLiteral(" 1")) << false << 2;
    QTest::newRow("255-character token then another") << (QString(255, u'a') + QStringLiteral(" 1")) << true << 0;
    QTest::newRow("long last token has no space") << QString(400, u'b') << false << 1;
    QTest::newRow("long token later in the text") << (QStringLiteral("1 ") + QString(255, u'c') + QStringLiteral(" 2")) << true << 0;
}

void TstPayload::limits()
{
    QFETCH(QString, text);
    QFETCH(bool, beyond);
    QFETCH(int, count);
    const HexPayload p = ParseHexPayload(text);
    QCOMPARE(p.beyondLimits, beyond);
    QCOMPARE(int(p.bytes.size()), count);
    if (count == 255)
        QCOMPARE(FormatHexBytes(p.bytes).count(QStringLiteral("  ")), 255);
}

void TstPayload::listing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("listing");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("41 0A 00") << QByteArray("\x41\x0A\x00", 3) << "  41  A  0";
    QTest::newRow("received 00 FF 0D") << QByteArray("\x00\xFF\x0D", 3) << "  0  FF  D";
    QTest::newRow("10 and 255") << QByteArray("\x10\xFF", 2) << "  10  FF";
}

void TstPayload::listing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, listing);
    QCOMPARE(FormatHexBytes(bytes), listing);
}

void TstPayload::trimKeepsOtherWhiteSpace()
{
    QCOMPARE(trimSpaces(QStringLiteral("   a b  ")), QStringLiteral("a b"));
    QCOMPARE(trimSpaces(QStringLiteral("\t a \n")), QStringLiteral("\t a \n"));
    QCOMPARE(trimSpaces(QStringLiteral("     ")), QString());
    // Every byte value lists as itself.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QStringList parts = FormatHexBytes(all).split(QStringLiteral("  "), Qt::SkipEmptyParts);
    QCOMPARE(parts.size(), 256);
    for (int i = 0; i < 256; ++i)
        QCOMPARE(parts.at(i).toInt(nullptr, 16), i);
}

QTEST_APPLESS_MAIN(TstPayload)
#include "tst_payload.moc"
