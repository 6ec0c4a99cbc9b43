// SPDX-License-Identifier: MIT
#include "logcolours.h"
#include "logdump.h"
#include "logrows.h"
#include "logsave.h"
#include "logstore.h"
#include "xxd.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray randomBytes(QRandomGenerator &rng, int n)
{
    QByteArray out(n, 0);
    for (char &c : out)
        c = char(rng.bounded(256));
    return out;
}

QString dumped(const LogStore &store, qint64 from, qint64 to)
{
    QByteArray utf8;
    LogDump::writeUtf8(store, from, to, [&](const char *bytes, qint64 n) { utf8.append(bytes, qsizetype(n)); });
    return QString::fromUtf8(utf8);
}

// A received entry as the tools write it: the header on its own line's
// start, its listing after it on the same line.
void receive(LogStore &store, const QByteArray &bytes)
{
    store.append(kBlack, QStringLiteral("\r\n12:00:00  接收数据："));
    store.appendListing(kBlack, bytes);
}

} // namespace

// The log's listings read as a dump: rows exactly as the reference dumper
// writes them, made from the kept bytes, each listing on rows of its own,
// and written out as the dump view shows them, whole or in slices.
class TstLogDump : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsAreTheReferenceDumpersRows();
    void eachListingStandsOnRowsOfItsOwn();
    void aRangeTakesTheRowsItTouchesWhole();
    void slicesCutBetweenRowsAddUpToTheWhole();
    void savedAsTextAndAsAPage();
    void rowsOfTheViewFollowTheDump();
};

void TstLogDump::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xxd")).isEmpty())
        QFAIL("xxd, the reference dumper, is not installed (make test installs it)");
}

void TstLogDump::rowsAreTheReferenceDumpersRows()
{
    QRandomGenerator rng(22);
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every += char(b);
    QList<QByteArray> cases{every, QByteArray("ABC\r\n\x00~ \x7f\x80", 10), QByteArray(16, 'x'), QByteArray(17, '\0'),
                            randomBytes(rng, 1000)};
    for (int n = 1; n <= 33; ++n)
        cases << randomBytes(rng, n);
    for (const QByteArray &bytes : cases) {
        LogStore store;
        store.append(kBlack, QStringLiteral("x"));
        store.appendListing(kBlue, bytes);
        const qint64 rows = LogDump::rowsOf(bytes.size());
        const LogDump::Listing listing{1, store.size(), bytes.size(), kBlue};
        const QString mine = LogDump::rows(store, listing, 0, rows);
        QCOMPARE(mine, referenceDump(bytes));
        QCOMPARE(LogDump::rowsSize(listing, 0, rows), mine.size());
        // Any run of rows is the same rows.
        const qint64 first = rows / 2;
        QCOMPARE(LogDump::rows(store, listing, first, rows),
                 mine.split(u'\n').mid(first).join(u'\n'));
        QCOMPARE(LogDump::rowsSize(listing, first, rows), LogDump::rows(store, listing, first, rows).size());
    }
    // The store itself is as it was: the listing reads in its own form.
    LogStore store;
    store.appendListing(kBlack, QByteArray("\x00\x41\xff", 3));
    QCOMPARE(store.text(0, store.size()), QStringLiteral("  0  41  FF"));
}

void TstLogDump::eachListingStandsOnRowsOfItsOwn()
{
    LogStore store;
    store.append(kBlack, QStringLiteral("12:00:00  启动程序"));
    receive(store, QByteArray("0123456789abcdefXY"));
    store.append(kBlack, QStringLiteral("\r\n  发送数据："));
    store.appendListing(kBlack, QByteArray("\x01\x02", 2));
    // Text after a listing on the same line, and a listing of another
    // colour right after one: each starts a row.
    store.append(kBlue, QStringLiteral("成功"));
    store.appendListing(kRed, QByteArray("<&>", 3));
    store.appendListing(kBlack, QByteArray("z"));
    store.append(kBlack, QStringLiteral("\r\n末行"));
    const QString expected = QStringLiteral("12:00:00  启动程序\n"
                                            "12:00:00  接收数据：\n")
        + referenceDump("0123456789abcdefXY") + QStringLiteral("\n  发送数据：\n") + referenceDump(QByteArray("\x01\x02", 2))
        + QStringLiteral("\n成功\n") + referenceDump("<&>") + u'\n' + referenceDump("z") + QStringLiteral("\n末行");
    QCOMPARE(dumped(store, 0, store.size()), expected);
    QCOMPARE(LogDump::utf8Size(store, 0, store.size()), expected.toUtf8().size());
    // A log without listings reads as it is.
    LogStore plain;
    plain.append(kBlack, QStringLiteral("a\r\nb  41"));
    QCOMPARE(dumped(plain, 0, plain.size()), QStringLiteral("a\nb  41"));
}

void TstLogDump::aRangeTakesTheRowsItTouchesWhole()
{
    LogStore store;
    QByteArray bytes;
    for (int b = 0; b < 40; ++b)
        bytes += char(b * 7);
    receive(store, bytes);
    store.append(kBlack, QStringLiteral("\r\nafter"));
    const QStringList rows = referenceDump(bytes).split(u'\n');
    const qint64 listingStart = store.text(0, store.size()).indexOf(QStringLiteral("  0"));
    const auto token = [&](qint64 byte) { return store.listingToken(listingStart, byte); };
    // From the header into the first row's third byte: the header, then
    // the first row whole.
    QCOMPARE(dumped(store, 3, token(2) + 1), store.text(3, listingStart) + u'\n' + rows[0]);
    // From the middle of the second row to the line after: from that row.
    QCOMPARE(dumped(store, token(20) + 1, store.size()), rows[1] + u'\n' + rows[2] + QStringLiteral("\nafter"));
    // Within one row: the row.
    QCOMPARE(dumped(store, token(33), token(34)), rows[2]);
    // Ending exactly where a row starts leaves that row out.
    QCOMPARE(dumped(store, token(0), token(16)), rows[0]);
    QCOMPARE(dumped(store, 5, 5), QString());
    // Where a slice may end: between rows, at or after the place asked.
    QCOMPARE(LogDump::rowBoundary(store, token(16)), token(16));
    QCOMPARE(LogDump::rowBoundary(store, token(16) + 1), token(32));
    QCOMPARE(LogDump::rowBoundary(store, token(39) + 1), token(40));
    QCOMPARE(LogDump::rowBoundary(store, 2), 2);
}

void TstLogDump::slicesCutBetweenRowsAddUpToTheWhole()
{
    QRandomGenerator rng(7);
    LogStore store;
    for (int k = 0; k < 30; ++k) {
        if (k % 3 == 2)
            store.append(kBlue, QStringLiteral("成功"));
        receive(store, randomBytes(rng, int(rng.bounded(1, 100))));
    }
    const QString whole = dumped(store, 0, store.size());
    for (int trial = 0; trial < 50; ++trial) {
        QString joined;
        LogDump::Walk walk(store);
        const LogDump::Walk::Visitor visitor{
            [&](qint64 a, qint64 b) { joined += store.text(a, b); },
            [&](const LogDump::Listing &listing, qint64 first, qint64 end) {
                joined += LogDump::rows(store, listing, first, end);
            },
            [&] { joined += u'\n'; }};
        for (qint64 at = 0; at < store.size();) {
            const qint64 to = std::min(store.size(), LogDump::rowBoundary(store, at + rng.bounded(1, 200)));
            QVERIFY(to > at);
            walk.walk(at, to, visitor);
            at = to;
        }
        QCOMPARE(joined, whole);
    }
}

void TstLogDump::savedAsTextAndAsAPage()
{
    QTemporaryDir dir;
    LogStore store;
    receive(store, QByteArray("a<b&c\x00", 6));
    store.append(kBlack, QStringLiteral("\r\n<end>"));
    const auto save = [&](const QString &name, bool page) {
        LogSave save(store, 0, store.size(), dir.filePath(name));
        save.setDump(true);
        if (page)
            save.setPage(QStringLiteral("t"));
        if (save.begin())
            return QByteArray();
        save.finishNow();
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(QString::fromUtf8(save(QStringLiteral("log.txt"), false)), dumped(store, 0, store.size()));
    const QString page = QString::fromUtf8(save(QStringLiteral("log.html"), true));
    // The dump's characters are escaped, in the listing's colour.
    QVERIFY2(page.contains(QStringLiteral("<span style=\"color:#000000\">00000000: 61 3C 62 26 63 00") + QString(32, u' ')
                           + QStringLiteral("a&lt;b&amp;c.</span>")),
             qPrintable(page));
    QVERIFY(page.contains(QStringLiteral("&lt;end&gt;")));
    // Without the dump the listing is saved as it is listed.
    LogSave plain(store, 0, store.size(), dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(!plain.begin());
    plain.finishNow();
    QFile file(dir.filePath(QStringLiteral("plain.txt")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), store.text(0, store.size()));
}

void TstLogDump::rowsOfTheViewFollowTheDump()
{
    LogStore store;
    LogRows rows(store);
    rows.setColumns(80);
    store.append(kBlack, QStringLiteral("12:00:00  启动程序"));
    rows.linesChanged(0);
    const auto add = [&](const QByteArray &bytes) {
        const qint64 line = store.lineCount() - 1;
        receive(store, bytes);
        rows.linesChanged(line);
    };
    QByteArray big;
    for (int k = 0; k < 5000; ++k)
        big += char(k);
    add(QByteArray("hello, world\r\n"));
    add(big);
    const qint64 plainRows = rows.count();
    const QString plainRow = rows.row(plainRows - 1).text;
    QVERIFY(rows.setDump(true));
    QCOMPARE(rows.count(), 1 + (1 + 1) + (1 + LogDump::rowsOf(5000)));
    // Switching back and forth changes nothing else.
    QVERIFY(rows.setDump(false));
    QCOMPARE(rows.count(), plainRows);
    QCOMPARE(rows.row(plainRows - 1).text, plainRow);
    QVERIFY(rows.setDump(true));
    QVERIFY(!rows.setDump(true));
    // Every dump row reads as the reference, its tokens where the listing
    // has them.
    const QStringList reference = referenceDump(big).split(u'\n');
    const qint64 firstDumpRow = 4;
    for (qint64 r : {qint64(0), qint64(1), qint64(100), qint64(312)}) {
        const LogRows::Row row = rows.row(firstDumpRow + r);
        QCOMPARE(row.text, reference[r]);
        QCOMPARE(row.dumpOffset, r * 16);
        QCOMPARE(store.text(row.first, row.end), store.text(row.tokens[0], row.tokens.back()));
        QCOMPARE(rows.rowOf(row.first), firstDumpRow + r);
        QCOMPARE(rows.rowOf(row.tokens[5] + 1), firstDumpRow + r);
        QCOMPARE(row.dumpByteAt(row.tokens[5] + 1), 5);
    }
    // The header keeps its row, the line's end is its last row's.
    QCOMPARE(rows.row(3).text, QStringLiteral("12:00:00  接收数据："));
    QCOMPARE(rows.rowOf(store.size()), rows.count() - 1);
    // Growing while shown: a listing appended to the last one reads on.
    const qint64 line = store.lineCount() - 1;
    store.appendListing(kBlack, QByteArray(8, 'q'));
    rows.linesChanged(line);
    QCOMPARE(rows.count(), 1 + 2 + 1 + LogDump::rowsOf(5008));
    QCOMPARE(rows.row(rows.count() - 1).text, referenceDump(big + QByteArray(8, 'q')).split(u'\n').last());
    // And back: the listing as it is listed.
    QVERIFY(rows.setDump(false));
    QCOMPARE(rows.row(2).dumpOffset, -1);
    QVERIFY(rows.row(2).text.startsWith(QStringLiteral("12:00:00  接收数据：  0  1  2")));
}

QTEST_GUILESS_MAIN(TstLogDump)
#include "tst_logdump.moc"
