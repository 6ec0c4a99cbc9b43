// SPDX-License-Identifier: MIT
#include "logarena.h"
#include "logrows.h"
#include "logsearch.h"
#include "logcolours.h"
#include "logstore.h"
#include "logtext.h"
#include "payload.h"
#include "procstatus.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

// What the store must read as: the text as a plain string built the obvious
// way, with a colour per character.
struct Model
{
    QString text;
    std::vector<quint32> colours;

    void append(quint32 colour, const QString &piece)
    {
        for (qsizetype i = 0; i < piece.size(); ++i) {
            const QChar c = piece.at(i);
            if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator) {
                if (c == u'\r' && i + 1 < piece.size() && piece.at(i + 1) == u'\n')
                    ++i;
                add(u'\n', colour);
            } else {
                add(c, colour);
            }
        }
    }
    void add(QChar c, quint32 colour)
    {
        text += c;
        colours.push_back(colour);
    }
};

// Text with the characters that matter to the store: ASCII, two- and
// three-byte UTF-8, wide CJK, emoji (a surrogate pair, wide), every kind of
// line break.
QString randomText(QRandomGenerator &rng, int length)
{
    static const QString alphabet = QStringLiteral("ab Z9~é中文：") + QChar(0xFF01) + QChar(0x2029) + u'\r'
        + u'\n' + QChar(0x00A0) + QChar(0xFFFD);
    QString out;
    while (out.size() < length) {
        const quint32 pick = rng.bounded(100);
        if (pick < 3)
            out += QString::fromUcs4(U"\U0001F600");
        else if (pick < 60)
            out += QChar(u'a' + rng.bounded(26));
        else
            out += alphabet.at(rng.bounded(int(alphabet.size())));
    }
    return out;
}

QByteArray randomBytes(QRandomGenerator &rng, int length)
{
    QByteArray out(length, Qt::Uninitialized);
    for (char &c : out)
        c = char(rng.bounded(256));
    return out;
}

// Builds the same random log in a store and in the model: short and long
// pieces (past the store's inner marks), listings, colours that repeat so
// that pieces merge.
void buildRandom(LogStore &store, Model &model, quint32 seed, int pieces)
{
    QRandomGenerator rng(seed);
    const quint32 colours[] = {0, 0xFF, 0xFF0000};
    for (int i = 0; i < pieces; ++i) {
        const quint32 colour = colours[rng.bounded(3)];
        const int length = rng.bounded(10) == 0 ? 3000 + rng.bounded(20000) : rng.bounded(40);
        if (rng.bounded(3) == 0) {
            const QByteArray bytes = randomBytes(rng, length);
            store.appendListing(colour, bytes);
            model.append(colour, FormatHexBytes(bytes));
        } else {
            const QString text = randomText(rng, length);
            store.append(colour, text);
            model.append(colour, text);
        }
    }
}

QList<qint64> lineStarts(const QString &text)
{
    QList<qint64> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == u'\n')
            starts.append(i + 1);
    return starts;
}

} // namespace

class TstLogStore : public QObject
{
    Q_OBJECT
private slots:
    void readsAsWritten_data();
    void readsAsWritten();
    void randomLogReadsTheSameEveryWay_data();
    void randomLogReadsTheSameEveryWay();
    void cellsOfEveryLine();
    void rowsOfCellsCoverEachCharacterOnce();
    void rowFiguresAgreeLineByLine();
    void wrapsAtWordsAsTheRuleSays();
    void shortLinesCostTheirText_data();
    void shortLinesCostTheirText();
    void keepsAboutOneBytePerByte();
    void bytesLiveOnDiskNotInMemory();
    void clearEmptiesAndGivesBack();
    void listingsReadBackAsTheyCame();
    void foldedMatchingAgreesWithQt();
    void findAgreesWithThePlainText();
    void drawnRowsShowEveryCharacter();
    void aFailedAppendLeavesTheLogAsItWas();
};

void TstLogStore::readsAsWritten_data()
{
    QTest::addColumn<QStringList>("pieces"); // "#" + hex: a listing
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QStringList{} << QString();
    QTest::newRow("one piece") << QStringList{QStringLiteral("abc")} << QStringLiteral("abc");
    QTest::newRow("breaks of every kind")
        << QStringList{QStringLiteral("a\r\nb\rc\nd") + QChar(0x2029) + u'e'} << QStringLiteral("a\nb\nc\nd\ne");
    QTest::newRow("CR and LF in two writes are two breaks")
        << QStringList{QStringLiteral("a\r"), QStringLiteral("\nb")} << QStringLiteral("a\n\nb");
    QTest::newRow("entry continues the line") << QStringList{QStringLiteral("\r\nT  接收数据："), QStringLiteral("#41420d00ff")}
                                              << QStringLiteral("\nT  接收数据：  41  42  D  0  FF");
    QTest::newRow("trailing break") << QStringList{QStringLiteral("x\r\n")} << QStringLiteral("x\n");
    QTest::newRow("surrogate pair and lone half")
        << QStringList{QString::fromUcs4(U"\U0001F600"), QString(QChar(0xD800)) + u'z'}
        << QString::fromUcs4(U"\U0001F600") + QChar(0xFFFD) + u'z';
}

void TstLogStore::readsAsWritten()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, expected);
    LogStore store;
    for (const QString &p : pieces) {
        if (p.startsWith(u'#'))
            store.appendListing(0, QByteArray::fromHex(p.mid(1).toLatin1()));
        else
            store.append(0, p);
    }
    QCOMPARE(store.text(0, store.size()), expected);
    QCOMPARE(store.size(), expected.size());
    QCOMPARE(store.lineCount(), expected.count(u'\n') + 1);
    QByteArray utf8;
    store.writeUtf8(0, store.size(), [&](const char *d, qint64 n) { utf8.append(d, n); });
    QCOMPARE(QString::fromUtf8(utf8), expected);
}

void TstLogStore::randomLogReadsTheSameEveryWay_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 77u})
        QTest::newRow(qPrintable(QString::number(seed))) << seed;
}

void TstLogStore::randomLogReadsTheSameEveryWay()
{
    QFETCH(quint32, seed);
    LogStore store;
    Model model;
    buildRandom(store, model, seed, 300);
    QCOMPARE(store.size(), model.text.size());
    QCOMPARE(store.text(0, store.size()), model.text);

    const QList<qint64> starts = lineStarts(model.text);
    QCOMPARE(store.lineCount(), starts.size());
    for (qsizetype i = 0; i < starts.size(); ++i) {
        QCOMPARE(store.lineStart(i), starts[i]);
        const qint64 end = i + 1 < starts.size() ? starts[i + 1] - 1 : model.text.size();
        QCOMPARE(store.lineLength(i), end - starts[i]);
    }

    QRandomGenerator rng(seed * 31 + 7);
    for (int k = 0; k < 80; ++k) {
        qint64 a = rng.bounded(int(model.text.size() + 1));
        qint64 b = rng.bounded(int(model.text.size() + 1));
        if (a > b)
            std::swap(a, b);
        if (model.text.at(qBound<qint64>(0, a, model.text.size() - 1)).isLowSurrogate())
            --a; // a slice starts on a character
        if (b < model.text.size() && model.text.at(b).isLowSurrogate())
            ++b;
        const QString want = model.text.mid(a, b - a);
        QCOMPARE(store.text(a, b), want);
        QByteArray utf8;
        qint64 largest = 0;
        store.writeUtf8(a, b, [&](const char *d, qint64 n) {
            utf8.append(d, n);
            largest = std::max(largest, n);
        });
        QCOMPARE(utf8, want.toUtf8());
        QCOMPARE(store.utf8Size(a, b), qint64(utf8.size()));
        QVERIFY2(largest <= (1 << 20), "pieces handed out are bounded by a chunk");
        if (a < model.text.size()) {
            QCOMPARE(store.colourAt(a), model.text.at(a) == u'\n' ? 0u : model.colours[size_t(a)]);
            QCOMPARE(store.lineAt(a), qint64(std::upper_bound(starts.begin(), starts.end(), a) - starts.begin() - 1));
        }
    }
}

void TstLogStore::cellsOfEveryLine()
{
    QCOMPARE(LogStore::cellWidth(U'a'), 1);
    QCOMPARE(LogStore::cellWidth(U'é'), 1);
    QCOMPARE(LogStore::cellWidth(U'中'), 2);
    QCOMPARE(LogStore::cellWidth(U'：'), 2);
    QCOMPARE(LogStore::cellWidth(0xAC00), 2);       // Hangul
    QCOMPARE(LogStore::cellWidth(0x1F600), 2);      // an emoji
    QCOMPARE(LogStore::cellWidth(0x2400), 1);       // the stand-in for NUL
    QCOMPARE(LogStore::cellWidth(0xFFFD), 1);

    LogStore store;
    Model model;
    buildRandom(store, model, 5, 200);
    const QList<qint64> starts = lineStarts(model.text);
    for (qsizetype line = 0; line < starts.size(); ++line) {
        const QString text = store.text(store.lineStart(line), store.lineStart(line) + store.lineLength(line));
        qint64 cell = 0, last = -1;
        for (qsizetype i = 0, n = 0; i < text.size(); ++n) {
            const char32_t c = text.at(i).isHighSurrogate() ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
                                                            : text.at(i).unicode();
            const qint64 position = store.lineStart(line) + i;
            // Every character of short lines, a sample of long ones (each
            // look-up reads up to one inner mark's worth of the line).
            if (text.size() < 300 || n % 61 == 0) {
                QCOMPARE(store.cellAt(position), cell);
                QCOMPARE(store.positionAtCell(line, cell), position);
            }
            last = cell;
            cell += LogStore::cellWidth(c);
            i += c >= 0x10000 ? 2 : 1;
        }
        QCOMPARE(store.lineCells(line), cell);
        QCOMPARE(store.lineLastCell(line), last);
        QCOMPARE(store.positionAtCell(line, cell), store.lineStart(line) + store.lineLength(line));
    }
}

void TstLogStore::rowsOfCellsCoverEachCharacterOnce()
{
    // A view cuts each line into rows of `width` cells and draws row k from
    // the characters starting in [k*width, (k+1)*width): put together, the
    // rows must give the line back, every character once, in its colour.
    LogStore store;
    Model model;
    buildRandom(store, model, 9, 150);
    for (const qint64 width : {7, 80, 333}) {
        QString all;
        for (qint64 line = 0; line < store.lineCount(); ++line) {
            if (line > 0)
                all += u'\n';
            const qint64 rows = store.lineLastCell(line) < 0 ? 1 : store.lineLastCell(line) / width + 1;
            for (qint64 row = 0; row < rows; ++row) {
                store.visitCells(line, row * width, (row + 1) * width,
                                 [&](quint32 colour, QStringView run, qint64 position, qint64 cell) {
                                     QCOMPARE(position, qint64(all.size()));
                                     QVERIFY(cell >= row * width && cell < (row + 1) * width);
                                     QCOMPARE(colour, model.colours[size_t(position)]);
                                     all += run;
                                 });
            }
        }
        QCOMPARE(all, model.text);
    }
}

void TstLogStore::rowFiguresAgreeLineByLine()
{
    // The view keeps a row figure a block of lines, not a line: every line's
    // first row must still be the sum of the rows before it, and a row must
    // map back to its line, whether the figures were kept up entry by entry
    // (as a pane does) or worked out at once, at any width. Blocks of
    // blank lines, of lines that fit and of lines that wrap are all there.
    LogStore store;
    Model model;
    LogRows kept(store);
    kept.setColumns(80);
    QRandomGenerator rng(13);
    for (int i = 0; i < 400; ++i) {
        const qint64 changed = store.lineCount() - 1;
        const int kind = rng.bounded(6);
        if (kind == 5) {
            // A listing: one long line, that a block ends with.
            const QByteArray bytes = randomBytes(rng, rng.bounded(10) == 0 ? 5000 : rng.bounded(50));
            store.appendListing(0, bytes);
            model.append(0, FormatHexBytes(bytes));
            kept.linesChanged(changed);
            continue;
        }
        const QString text = kind == 0 ? QString(rng.bounded(1, 300), u'\n')
            : kind == 1                ? QStringLiteral("OK\r\n").repeated(rng.bounded(1, 200))
            : kind == 2                ? QString(rng.bounded(5000, 20000), u'y') + u'\n'
                                       : randomText(rng, rng.bounded(10) == 0 ? 20000 : rng.bounded(200));
        store.append(0, text);
        model.append(0, text);
        kept.linesChanged(changed);
    }
    QVERIFY(store.blockCount() > 20);
    for (const qint64 width : {7, 80, 333}) {
        LogRows fresh(store);
        fresh.setColumns(width);
        fresh.linesChanged(0);
        if (width == 80)
            QCOMPARE(kept.count(), fresh.count());
        qint64 row = 0;
        for (qint64 line = 0; line < store.lineCount(); ++line) {
            QCOMPARE(fresh.firstRowOf(line), row);
            const qint64 rows = fresh.rowsIn(line);
            QVERIFY(rows >= 1);
            QCOMPARE(fresh.lineOf(row), line);
            QCOMPARE(fresh.lineOf(row + rows - 1), line);
            QCOMPARE(fresh.rowOf(store.lineStart(line)), row);
            row += rows;
        }
        QCOMPARE(fresh.count(), row);
    }
    QCOMPARE(store.text(0, store.size()), model.text);
}

void TstLogStore::wrapsAtWordsAsTheRuleSays()
{
    // A line wraps after the last space of a row where it has one, else
    // where the row is full; spaces stay at the end of their row; a wide
    // character takes two cells. The rule, written the plain way, against
    // the rows the log lays out (lines of narrow characters take a quicker
    // path than lines with wide ones: both are here).
    const auto model = [](const QString &line, qint64 columns) {
        QList<qint64> starts{0};
        qint64 cell = 0, rowStart = 0, afterSpace = -1;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const int width = LogStore::cellWidth(line.at(i).unicode());
            if (line.at(i) == u' ') {
                afterSpace = ++cell;
                continue;
            }
            while (cell + width - rowStart > columns && cell > rowStart) {
                rowStart = afterSpace > rowStart ? afterSpace : cell;
                starts.append(rowStart);
                afterSpace = -1;
            }
            cell += width;
        }
        return starts;
    };
    QRandomGenerator rng(31);
    for (int round = 0; round < 400; ++round) {
        QString line;
        const bool wide = round % 4 == 3;
        const int length = rng.bounded(1, round % 10 == 0 ? 3000 : 300);
        while (line.size() < length) {
            const int pick = rng.bounded(10);
            if (pick < 2)
                line += QString(rng.bounded(1, 6), u' ');
            else if (pick < 3)
                line += QString(rng.bounded(1, 200), u'w'); // a word longer than a row
            else if (pick < 4)
                line += u'é';
            else if (wide && pick < 5)
                line += u'中';
            else
                line += QChar(u'a' + rng.bounded(26));
        }
        line.truncate(length);
        LogStore store;
        store.append(0, line);
        for (const qint64 columns : {1, 2, 3, 7, 80, 333}) {
            LogRows rows(store);
            rows.setColumns(columns);
            rows.linesChanged(0);
            const QList<qint64> want = model(line, columns);
            QCOMPARE(rows.rowsIn(0), qint64(want.size()));
            for (qsizetype k = 0; k < want.size(); ++k)
                QCOMPARE(rows.startCell(0, k), want.at(k));
        }
    }
}

void TstLogStore::shortLinesCostTheirText_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("blank lines") << QStringLiteral("\n");
    QTest::newRow("OK") << QStringLiteral("OK\r\n");
    QTest::newRow("33 bytes") << QStringLiteral("%1\r\n").arg(QString(31, u'x'));
    QTest::newRow("undecodable input") << QString(7, QChar(QChar::ReplacementCharacter)) + u'\n';
}

void TstLogStore::shortLinesCostTheirText()
{
    // However short its lines, a log costs about what its text does: the
    // index is a few words a block of lines, and a replacement character
    // is one byte. (Every line used to cost 12 bytes of index.)
    QFETCH(QString, line);
    LogStore store;
    const QString many = line.repeated(1 << 16);
    const qint64 utf8 = many.toUtf8().size();
    qint64 received = 0, appends = 0;
    for (; received < (qint64(32) << 20); ++appends) {
        store.append(0, many);
        received += utf8;
    }
    QCOMPARE(store.lineCount(), appends * (1 << 16) * line.count(u'\n') + 1);
    const double perByte = double(store.bytesUsed()) / double(received);
    QVERIFY2(perByte < 1.3, qPrintable(QString::number(perByte)));
    // Any line still found and read back.
    const qint64 middle = store.lineCount() / 2 + 5;
    QCOMPARE(store.text(store.lineStart(middle), store.lineStart(middle) + store.lineLength(middle)),
             line.left(line.indexOf(u'\r') >= 0 ? line.indexOf(u'\r') : line.indexOf(u'\n')));
}

void TstLogStore::drawnRowsShowEveryCharacter()
{
    // What would act on a row instead of showing (a control character, the
    // line separator, the bidirectional controls) is drawn as a mark of
    // its own, one a character; the text keeps what came.
    LogStore store;
    const QString text = QStringLiteral("a\tb\x01" "c\x7F AAA\u2028BBB pay \u202Egnp.exe \u202A\u202B\u202C\u202D"
                                        " \u2066x\u2067\u2068\u2069 \u200Ey\u200F \u061Cz \u05D0\u05D1");
    store.append(0, text);
    LogRows rows(store);
    rows.linesChanged(0);
    QCOMPARE(rows.count(), 1);
    const LogRows::Row row = rows.row(0);
    const QChar bar(LogText::kDirectionMark);
    QCOMPARE(row.text, QStringLiteral("a b\u2401c\u2421 AAA\u2424BBB pay ") + bar + QStringLiteral("gnp.exe ")
                           + QString(4, bar) + QStringLiteral(" ") + bar + u'x' + QString(3, bar) + QStringLiteral(" ")
                           + bar + u'y' + bar + QStringLiteral(" ") + bar + QStringLiteral("z \u05D0\u05D1"));
    QCOMPARE(store.text(0, store.size()), text);
}

void TstLogStore::aFailedAppendLeavesTheLogAsItWas()
{
    // The system gives two chunks: filled, the next append is refused and
    // changes nothing; a few words still fit (the spare), and once that is
    // full too, nothing more, the log still whole.
    LogArena::limitChunksForTests(2);
    LogStore store;
    const QByteArray chunk(int(LogArena::kChunk), '\x41');
    store.appendListing(0, chunk);
    store.appendListing(0, chunk);
    const qint64 size = store.size();
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, store.appendListing(0, QByteArray(8192, '\x42')));
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, store.append(0, QString(8192, u'b')));
    QCOMPARE(store.size(), size);
    QCOMPARE(store.lineCount(), qint64(1));
    const QString said = QStringLiteral("\nno more memory");
    store.append(kRed, said);
    QCOMPARE(store.text(size, store.size()), said);
    QCOMPARE(store.colourAt(size + 1), kRed);
    int words = 1;
    try {
        for (; words < 100000; ++words)
            store.append(kRed, said);
        QFAIL("the spare never filled");
    } catch (const std::bad_alloc &) {
    }
    QVERIFY(words > 1000); // a chunk's worth of words
    QCOMPARE(store.text(0, 8), QStringLiteral("  41  41"));
    QCOMPARE(store.text(store.size() - said.size(), store.size()), said);
    QCOMPARE(store.lineCount(), qint64(1 + words));
    LogArena::limitChunksForTests(-1);
}

void TstLogStore::keepsAboutOneBytePerByte()
{
    // A long run of listings and of plain text: the store holds the bytes
    // once, its index a small fraction on top.
    constexpr int kMiB = 1 << 20;
    QRandomGenerator rng(3);
    LogStore listing;
    qint64 characters = 0;
    for (int i = 0; i < 16; ++i) {
        const QByteArray bytes = randomBytes(rng, kMiB / 2);
        listing.appendListing(0, bytes);
        characters += FormatHexBytes(bytes).size();
    }
    QCOMPARE(listing.size(), characters);
    QVERIFY2(listing.bytesUsed() < qint64(8 * kMiB * 1.05), qPrintable(QString::number(listing.bytesUsed())));

    // Lines of a kilobyte: each costs its index entries on top.
    LogStore text;
    const QString line = QString(1000, u'x') + QStringLiteral("\r\n");
    for (int i = 0; i < 8 * 1024; ++i)
        text.append(0, line);
    QVERIFY2(text.bytesUsed() < qint64(8 * 1024 * 1000 * 1.25), qPrintable(QString::number(text.bytesUsed())));
}

void TstLogStore::bytesLiveOnDiskNotInMemory()
{
    // The log's bytes are in an unnamed file of the cache folder, and only
    // what is being written, and what was just read, stays resident: a log
    // many times the size of memory neither fills it nor is killed for it.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    constexpr int kMiB = 1 << 20;
    constexpr int kChunks = 256;
    {
        LogStore store;
        const qint64 before = procStatusKib("VmRSS:");
        QByteArray bytes(kMiB, Qt::Uninitialized);
        for (int i = 0; i < kChunks; ++i) {
            bytes.fill(char(0x10 + i % 0xF0)); // two digits: four characters a byte
            store.appendListing(0, bytes);
        }
        const qint64 written = procStatusKib("VmRSS:") - before;
        QVERIFY2(written < 48 * 1024, qPrintable(QStringLiteral("%1 KiB resident after 256 MiB").arg(written)));

        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QVERIFY2(mapped.count(QFile::encodeName(cache.path()) + '/') >= kChunks, "chunks mapped from the file");
        QVERIFY(!QDir(cache.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size()); // nothing named

        // Read back whole, through the same bounded resident window.
        qint64 listed = 0, wrong = 0;
        store.writeUtf8(0, store.size(), [&](const char *d, qint64 n) {
            for (qint64 i = 0; i < n; ++i, ++listed) {
                // Each byte lists as "  XY": every fourth character is the
                // low digit of its chunk's byte.
                const qint64 chunk = listed / (4 * kMiB);
                if (listed % 4 == 3 && d[i] != "0123456789ABCDEF"[(0x10 + chunk % 0xF0) & 0xF])
                    ++wrong;
            }
        });
        QCOMPARE(listed, qint64(4) * kChunks * kMiB);
        QCOMPARE(wrong, 0);
        const qint64 read = procStatusKib("VmRSS:") - before;
        QVERIFY2(read < 120 * 1024, qPrintable(QStringLiteral("%1 KiB resident after reading it all").arg(read)));
        store.clear();
    }
    qunsetenv("XDG_CACHE_HOME");
}

void TstLogStore::clearEmptiesAndGivesBack()
{
    LogStore store;
    store.append(0xFF, QStringLiteral("first\r\nsecond"));
    store.appendListing(0, QByteArray(100000, 'A'));
    QVERIFY(store.bytesUsed() > 100000);
    store.clear();
    QCOMPARE(store.size(), 0);
    QCOMPARE(store.lineCount(), 1);
    QCOMPARE(store.text(0, 10), QString());
    QVERIFY(store.bytesUsed() < 1024);
    store.append(0, QStringLiteral("again"));
    QCOMPARE(store.text(0, store.size()), QStringLiteral("again"));
    QCOMPARE(store.colourAt(0), 0u);
}

void TstLogStore::listingsReadBackAsTheyCame()
{
    // A listing's place reads back its bytes exactly, among text and across
    // the store's chunks; a place from before a clear reads as nothing.
    LogStore store;
    QRandomGenerator rng(7);
    const QByteArray small = randomBytes(rng, 300);
    const QByteArray large = randomBytes(rng, int(LogArena::kChunk) + 12345);
    store.append(0, QStringLiteral("entry\r\n"));
    const KeptPlace first = store.appendListing(0, small);
    store.append(0, QStringLiteral("\r\n中文 entry"));
    const KeptPlace second = store.appendListing(0, large);
    QVERIFY(first.kept() && second.kept());
    const auto read = [&store](KeptPlace place, qint64 n) {
        QByteArray out;
        int pieces = 0;
        const bool whole = store.readKept(place, n, [&](const char *bytes, qint64 size) {
            out.append(bytes, size);
            return ++pieces < 1000;
        });
        return whole ? out : QByteArray("refused");
    };
    QCOMPARE(read(first, small.size()), small);
    QCOMPARE(read(second, large.size()), large);
    QCOMPARE(read(second.after(100), 50), large.mid(100, 50));
    QCOMPARE(read(second, large.size() + 1), QByteArray("refused")); // past the end
    QVERIFY(!store.readKept(second, 10, [](const char *, qint64) { return false; })); // a sink that stops
    store.clear();
    store.appendListing(0, large);
    QCOMPARE(read(second, 10), QByteArray("refused"));
    QCOMPARE(read(KeptPlace{store.clears(), 0}, large.size()), large);
}

void TstLogStore::foldedMatchingAgreesWithQt()
{
    // Texts and needles drawn from characters whose folding is unusual:
    // ASCII in both cases, the Kelvin sign and long s (which fold to ASCII),
    // sharp s, the Greek sigmas, dotted and dotless i, full-width letters,
    // CJK, and pairs (a Deseret capital that folds to its small letter,
    // an emoji), and a lone surrogate half.
    const QString alphabet = QStringLiteral("aAbBkKsS  0D\u212A\u017F\u00DF\u1E9E\u03A3\u03C3\u03C2"
                                            "\u0130\u0131iI\uFF21\uFF41中文")
                             + QString::fromUcs4(U"\U00010400\U00010428\U0001F600") + QChar(0xD800);
    QRandomGenerator random(20261208);
    const auto draw = [&](int length) {
        QString out;
        while (out.size() < length) {
            const qsizetype i = random.bounded(alphabet.size());
            // Keep pairs whole, except for the lone half at the end.
            if (alphabet.at(i).isLowSurrogate())
                out.append(alphabet.mid(i - 1, 2));
            else if (alphabet.at(i).isHighSurrogate() && i + 1 < alphabet.size())
                out.append(alphabet.mid(i, 2));
            else
                out.append(alphabet.at(i));
        }
        return out;
    };
    for (int round = 0; round < 4000; ++round) {
        const QString text = draw(random.bounded(1, 60));
        // Often a piece of the text in another case, so that it matches.
        QString needle = random.bounded(2) ? draw(random.bounded(1, 5)) : text.mid(random.bounded(text.size()), random.bounded(1, 5));
        if (random.bounded(2))
            needle = random.bounded(2) ? needle.toUpper() : needle.toLower();
        if (needle.isEmpty())
            continue;
        const FoldedMatcher matcher(needle);
        const qsizetype from = random.bounded(text.size() + 1);
        QCOMPARE(matcher.indexIn(text, from), text.indexOf(needle, from, Qt::CaseInsensitive));
        QCOMPARE(matcher.lastIndexIn(text, from), text.lastIndexOf(needle, from, Qt::CaseInsensitive));
    }
}


void TstLogStore::findAgreesWithThePlainText()
{
    // Long listings are searched by their bytes, everything else as text:
    // the search must find exactly what a plain search of the whole text
    // finds, in both directions and around the ends, whether a match lies
    // inside a listing, runs across its edge into text or into the next
    // listing, or is text no listing could show.
    const char values[] = {0x00, 0x01, 0x0A, 0x10, 0x41, 0x4A, char(0xA4), char(0xFF)};
    QRandomGenerator rng(2026);
    LogStore store;
    Model model;
    const auto listing = [&](quint32 colour, int bytes) {
        QByteArray b(bytes, Qt::Uninitialized);
        for (char &c : b)
            c = values[rng.bounded(int(sizeof values))];
        store.appendListing(colour, b);
        model.append(colour, FormatHexBytes(b));
    };
    const auto text = [&](const QString &t) {
        store.append(0, t);
        model.append(0, t);
    };
    text(QStringLiteral("head  41  4a "));
    listing(kBlack, 30000);
    listing(kRed, 20000); // a listing right after another
    text(QStringLiteral("  A4  ff\r\n接收数据："));
    listing(kBlack, 100);  // too short to scan by bytes
    text(QStringLiteral(" 10  1"));
    listing(kBlue, 40000);
    QVERIFY(model.text.size() > 3 * 65536);

    const QStringList typed = {QStringLiteral("41  4A"), QStringLiteral("  A4  FF  0"), QStringLiteral("1  A"),
                               QStringLiteral("A  10  "), QStringLiteral("  0  1  0"), QStringLiteral("ff  ff  ff  ff  ff  ff"),
                               QStringLiteral("4a  A4  "), QStringLiteral("41  41  41  41  41  41  41"),
                               QStringLiteral("0A"), QStringLiteral("42"), QStringLiteral("41 4A"),
                               QStringLiteral("x"), QStringLiteral("数据：  1"), QStringLiteral("  "),
                               QStringLiteral("4"), QStringLiteral("f  4a  a"), QStringLiteral("A   4"),
                               QStringLiteral("123456789ABCDEF0123456789")}; // (a run no listing shows)
    LogSearch search(store);
    QSignalSpy finished(&search, &LogSearch::finished);
    for (int round = 0; round < 160; ++round) {
        QString needle;
        if (round < typed.size() * 2) {
            needle = typed.at(round % typed.size());
        } else {
            const qsizetype at = rng.bounded(model.text.size() - 12);
            needle = model.text.mid(at, rng.bounded(1, 12));
            if (rng.bounded(2))
                needle = needle.toLower();
        }
        const qint64 origin = rng.bounded(model.text.size() + 1);
        for (const bool backward : {false, true}) {
            qsizetype want = -1;
            bool wrapped = false;
            if (!backward) {
                want = model.text.indexOf(needle, origin, Qt::CaseInsensitive);
                if (want < 0 && (want = model.text.indexOf(needle, 0, Qt::CaseInsensitive)) >= 0)
                    wrapped = true;
            } else {
                for (qsizetype at = std::min<qsizetype>(origin - 1, model.text.size() - needle.size()); at >= 0 && want < 0; --at)
                    if (QStringView(model.text).mid(at, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
                        want = at;
                if (want < 0) {
                    want = model.text.lastIndexOf(needle, -1, Qt::CaseInsensitive);
                    wrapped = want >= 0;
                }
            }
            finished.clear();
            search.start(needle, origin, backward);
            QVERIFY(finished.wait(5000));
            const QList<QVariant> got = finished.takeFirst();
            QVERIFY2(got.at(0).toLongLong() == want && (want < 0 || got.at(2).toBool() == wrapped),
                     qPrintable(QStringLiteral("\"%1\" from %2 %3: %4, wanted %5")
                                    .arg(needle)
                                    .arg(origin)
                                    .arg(backward ? u"back" : u"on")
                                    .arg(got.at(0).toLongLong())
                                    .arg(want)));
        }
    }
}

QTEST_GUILESS_MAIN(TstLogStore)
#include "tst_logstore.moc"
