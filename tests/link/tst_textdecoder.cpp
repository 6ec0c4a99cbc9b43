// SPDX-License-Identifier: MIT
// The stream decoder of received text: what each read shows, however the
// stream is cut.
#include "textdecoder.h"

#include <QTest>

namespace {
const QString R(QChar(0xFFFD));
}

class TstTextDecoder : public QObject
{
    Q_OBJECT
private slots:
    // Each read's text, in order.
    void readByRead_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("texts");
        auto row = [](const char *name, QList<QByteArray> reads, QStringList texts) {
            QTest::newRow(name) << reads << texts;
        };
        row("ascii", {"hello <b>"}, {"hello <b>"});
        row("two-byte cut, completed", {"\xC3", "\xA9x"}, {"", u8"éx"});
        row("cut, then not continued", {"\xC3", "hello"}, {"", R + "hello"});
        row("cut, then a character of its own", {"\xE3", "\xE3\x81\x82"}, {"", R + u8"あ"});
        row("cut twice", {"\xE6", "\x95", "\xB0"}, {"", "", u8"数"});
        row("two held, then broken", {"\xE6\x95", "A"}, {"", R + "A"});
        row("four bytes across reads", {"\xF0\x9F", "\x98\x80!"}, {"", QString::fromUtf8("\xF0\x9F\x98\x80!")});
        row("empty read keeps holding", {"\xE6", "", "\x95\xB0"}, {"", "", u8"数"});
        // One U+FFFD per maximal invalid subpart.
        row("overlong three-byte", {"\xE0\x80\x80"}, {R + R + R});
        row("encoded surrogate", {"\xED\xA0\x80"}, {R + R + R});
        row("overlong two-byte", {"\xC0\xAF"}, {R + R});
        row("beyond U+10FFFF", {"\xF4\x90\x80\x80"}, {R + R + R + R});
        row("never a lead byte", {"\xF5\xFF\xFE"}, {R + R + R});
        row("lone continuations", {"\x80\xBF"}, {R + R});
        row("truncated inside one read", {"\xE6\x95\x41"}, {R + "A"});
        row("the standard's example", {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"},
            {"a" + R + R + R + "b" + R + "c" + R + R + "d"});
        row("a NUL is a character", {QByteArray("a\0b", 3)}, {QString::fromUtf8("a\0b", 3)});
        // A byte order mark that came is shown, at the start as anywhere:
        // what the wire carried, not a hint to drop.
        row("byte order mark first", {"\xEF\xBB\xBF", "ok"}, {QString(QChar(0xFEFF)), "ok"});
        row("byte order mark cut", {"\xEF", "\xBB\xBFok"}, {"", QString(QChar(0xFEFF)) + "ok"});
    }
    void readByRead()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, texts);
        StreamTextDecoder decoder;
        QStringList got;
        for (const QByteArray &read : reads)
            got << decoder.decode(read);
        QCOMPARE(got, texts);
    }

    void endOfStreamShowsWhatIsHeld()
    {
        StreamTextDecoder decoder;
        QCOMPARE(decoder.decode("ok\xE6\x95"), QStringLiteral("ok"));
        QVERIFY(decoder.holding());
        QCOMPARE(decoder.finish(), R);
        QVERIFY(!decoder.holding());
        QCOMPARE(decoder.finish(), QString());
        // Nothing of the old stream reaches the next.
        QCOMPARE(decoder.decode("\xB0"), R);
    }

    void heldBytesCanBeTakenBack()
    {
        StreamTextDecoder decoder;
        QCOMPARE(decoder.decode("x\xF0\x9F\x98"), QStringLiteral("x"));
        QCOMPARE(decoder.takeHeld(), QByteArray("\xF0\x9F\x98"));
        QVERIFY(!decoder.holding());
        QCOMPARE(decoder.takeHeld(), QByteArray());
        // The rest of that character, read on its own, is invalid.
        QCOMPARE(decoder.decode("\x80"), R);
    }

    void anyCutGivesTheSameText()
    {
        // Valid text of every length, and the invalid cases, in one stream.
        const QByteArray stream = QByteArray("a\xC3\xA9\xE6\x95\xB0\xF0\x9F\x98\x80") + "\xE0\x80\xC2\xED\xA0\x80"
            + "\xF1\x80\x80\xE1\x80\xC2\x62\x80" + "\xF4\x8F\xBF\xBF" + "z\xE6\x95";
        // (Each call on its own statement: the order of the operands of +
        // is not fixed.)
        StreamTextDecoder whole;
        QString expected = whole.decode(stream);
        expected += whole.finish();
        for (qsizetype i = 0; i <= stream.size(); ++i) {
            for (qsizetype j = i; j <= stream.size(); ++j) {
                StreamTextDecoder cut;
                QString got = cut.decode(stream.left(i));
                got += cut.decode(stream.mid(i, j - i));
                got += cut.decode(stream.mid(j));
                got += cut.finish();
                QVERIFY2(got == expected, qPrintable(QStringLiteral("cut at %1 and %2").arg(i).arg(j)));
            }
        }
        QCOMPARE(expected.count(R), 11);
    }

    void validTextDecodesToItself()
    {
        QString all;
        for (char32_t c : {U'A', U'\u00E9', U'\u07FF', U'\u0800', U'\uD7FF', U'\uE000', U'\uFFFD', U'\uFFFF',
                           U'\U00010000', U'\U0010FFFF'})
            all += QString::fromUcs4(&c, 1);
        StreamTextDecoder decoder;
        QCOMPARE(decoder.decode(all.toUtf8()), all);
        QVERIFY(!decoder.holding());
    }
};

QTEST_APPLESS_MAIN(TstTextDecoder)
#include "tst_textdecoder.moc"
