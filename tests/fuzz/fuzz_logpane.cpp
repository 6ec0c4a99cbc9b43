// SPDX-License-Identifier: MIT
// The message log: after any sequence of AppendLog and appendListing calls
// the pane reads as the appended texts one after another (each line break
// as "\n", the stand-ins in place, a listing as its "  41" form), every
// character has the colour it was appended in, the rows of any width give
// every character once, and copying reads the same: all of it at once, or
// in two parts cut anywhere.
//
// Input: a sequence of appends. Each starts with a byte whose low two bits
// pick the colour (black, red, blue, or three bytes B G R that follow) and
// whose other six bits repeat the text up to 63 times (so that a line grows
// past the store's inner marks), or, all set, make it a listing of up to 63
// bytes that follow a length byte; then a length byte and the text, one
// character per byte below 0x80 (printable ASCII, line breaks, the
// characters the pane replaces, surrogates and other awkward ones), a
// UTF-16 unit from each pair of bytes at 0x80 and up.

#include "fuzzcheck.h"
#include "logdump.h"
#include "logpane.h"
#include "logrows.h"
#include "payload.h"

#include <QApplication>
#include <QMimeData>
#include <QClipboard>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

namespace {

constexpr int kMostAppends = 64;
constexpr qsizetype kMostCharacters = 24000;

// What a copy of [from, to) puts on the clipboard, read back.
QString copied(LogPane &pane, qint64 from, qint64 to)
{
    pane.setSelection(from, to);
    pane.copy();
    return from == to ? QString() : QGuiApplication::clipboard()->text();
}

struct Reader
{
    const uint8_t *data;
    size_t size;
    size_t at = 0;

    bool atEnd() const { return at >= size; }
    uint8_t next() { return at < size ? data[at++] : 0; }
};

QString textFrom(Reader &in, int length)
{
    static const char16_t odd[] = {
        u'\r', u'\n', u'\r', u'\n', u'\t', 0x0000, 0xFDD0, 0xFDD1,
        0xFFFC, 0x2029, 0x2028, 0xD83D, 0xDE00, 0xFFFD, 0x4E2D, 0x00E9,
        0xFEFF, 0x200B, 0x000B, 0x000C, 0x0085, 0x2400, 0x001B, 0x0008,
        0x00A0, 0x3000, 0xD800, 0xDFFF, 0xFFFF, 0xFFFE, 0x0300, u'<',
    };
    QString text;
    for (int k = 0; k < length && !in.atEnd(); ++k) {
        const uint8_t b = in.next();
        if (b < 0x60)
            text += QChar(char16_t(0x20 + b));
        else if (b < 0x80)
            text += QChar(odd[b - 0x60]);
        else
            text += QChar(char16_t(b << 8 | in.next()));
    }
    return text;
}

// What the pane should hold, written out apart from the pane's own code.
struct Expected
{
    QString text;                 // as logText() reads
    QString characters;           // the same without line breaks
    std::vector<QRgb> colours;    // one per character
    QString dump;                 // as the dump view copies it
    // A listing still open: the next of its colour goes on in it.
    QByteArray listing;
    quint32 listingColour = 0;
};

// One row as the reference dumper (xxd -g1 -u) writes it.
QString dumpRow(qint64 offset, const QByteArray &bytes)
{
    QString row = QString::asprintf("%08llx:", static_cast<unsigned long long>(offset));
    for (int k = 0; k < 16; ++k)
        row += k < bytes.size() ? QString::asprintf(" %02X", unsigned(quint8(bytes[k]))) : QStringLiteral("   ");
    row += QStringLiteral("  ");
    for (const char c : bytes)
        row += c >= 0x20 && c < 0x7F ? QChar(c) : QChar(u'.');
    return row;
}

// The open listing's rows, on rows of their own.
void closeListing(Expected &e)
{
    if (e.listing.isEmpty())
        return;
    if (!e.dump.isEmpty() && !e.dump.endsWith(u'\n'))
        e.dump += u'\n';
    for (qsizetype at = 0; at < e.listing.size(); at += 16)
        e.dump += (at ? QStringLiteral("\n") : QString()) + dumpRow(at, e.listing.mid(at, 16));
    e.listing.clear();
}

void expectListing(Expected &e, quint32 bgr, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (!e.listing.isEmpty() && e.listingColour != bgr)
        closeListing(e);
    e.listing += bytes;
    e.listingColour = bgr;
}

void expectAppend(Expected &e, quint32 bgr, const QString &text)
{
    if (text.isEmpty())
        return; // (nothing appended: a listing before it goes on after it)
    // What the dump view copies: text after a listing starts a row.
    const qsizetype before = e.text.size();
    const bool afterListing = !e.listing.isEmpty();
    closeListing(e);
    const QRgb colour = qRgb(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n' || c == 0x2029) {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            e.text += u'\n';
            continue;
        }
        // Stand-ins for what a text document would take as its own
        // markers, and for a half of a surrogate pair that has no partner.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            e.text += text.mid(i, 2);
            e.characters += text.mid(i, 2);
            e.colours.push_back(colour);
            e.colours.push_back(colour);
            ++i;
            continue;
        }
        if (c == 0)
            c = 0x2400;
        else if (c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC || QChar::isSurrogate(c))
            c = 0xFFFD;
        e.text += QChar(c);
        e.characters += QChar(c);
        e.colours.push_back(colour);
    }
    const QStringView added = QStringView(e.text).mid(before);
    if (afterListing && !added.isEmpty() && !added.startsWith(u'\n'))
        e.dump += u'\n';
    e.dump += added;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_logpane";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in{data, size};
    LogPane pane;
    Expected want;
    qsizetype total = 0;
    for (int n = 0; n < kMostAppends && !in.atEnd(); ++n) {
        const uint8_t head = in.next();
        quint32 colour;
        switch (head & 3) {
        case 0: colour = 0x000000; break;
        case 1: colour = 0x0000FF; break;
        case 2: colour = 0xFF0000; break;
        default:
            colour = quint32(in.next()) << 16;
            colour |= quint32(in.next()) << 8;
            colour |= in.next();
            break;
        }
        if ((head >> 2) == 63) {
            // A byte listing, kept as its bytes.
            QByteArray bytes;
            for (int k = in.next() % 64; k > 0 && !in.atEnd(); --k)
                bytes.append(char(in.next()));
            const QString listing = FormatHexBytes(bytes);
            if (total + listing.size() > kMostCharacters)
                break;
            total += listing.size();
            pane.appendListing(colour, bytes);
            // (As text it reads as its listing; the dump reads its bytes.)
            const Expected before = want;
            expectAppend(want, colour, listing);
            want.dump = before.dump;
            want.listing = before.listing;
            want.listingColour = before.listingColour;
            expectListing(want, colour, bytes);
            continue;
        }
        const QString piece = textFrom(in, in.next() % 48);
        const QString text = piece.repeated(1 + (head >> 2));
        if (total + text.size() > kMostCharacters)
            break;
        total += text.size();
        pane.AppendLog(colour, text);
        expectAppend(want, colour, text);
    }

    FUZZ_CHECK_EQ(pane.logText(), want.text);

    // Every character in the colour of its own append, and the rows of
    // any width, put together, give every character once.
    const LogStore &store = pane.store();
    QString characters;
    std::vector<QRgb> colours;
    const qint64 width = 1 + (size % 97);
    for (qint64 line = 0; line < store.lineCount(); ++line) {
        const qint64 rows = store.lineLastCell(line) < 0 ? 1 : store.lineLastCell(line) / width + 1;
        for (qint64 row = 0; row < rows; ++row)
            store.visitCells(line, row * width, (row + 1) * width, [&](quint32 bgr, QStringView run, qint64, qint64) {
                characters += run;
                const QRgb colour = qRgb(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF));
                colours.insert(colours.end(), size_t(run.size()), colour);
            });
    }
    FUZZ_CHECK_EQ(characters, want.characters);
    for (size_t i = 0; i < colours.size(); ++i) {
        if (colours[i] != want.colours[i])
            fuzz::failEqual(__FILE__, __LINE__, "colour of a character", qint64(colours[i]), qint64(want.colours[i]));
    }

    // Copying all of it, as select-all and copy do.
    pane.selectAll();
    pane.copy();
    FUZZ_CHECK_EQ(want.text.isEmpty() ? QString() : QGuiApplication::clipboard()->text(), want.text);

    // Copying in two parts, cut at any place (a line break, inside a
    // listing, the ends; not inside a surrogate pair).
    const qint64 end = store.size();
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    for (int k = 0; k < 3; ++k) {
        qint64 cut = qint64((hash >> (k * 8)) % uint32_t(end + 1));
        if (cut < end && want.text.at(cut).isLowSurrogate())
            --cut;
        FUZZ_CHECK_EQ(copied(pane, 0, cut) + copied(pane, cut, end), want.text);
        // A selection made backwards copies the same.
        FUZZ_CHECK_EQ(copied(pane, end, cut), copied(pane, cut, end));
    }

    // The dump view: all of it copies as the reference writes it, and its
    // rows at any width take every character once, in order, and are
    // found again by their positions.
    closeListing(want);
    pane.setDumpView(true);
    FUZZ_CHECK_EQ(copied(pane, 0, end), want.dump);
    // (A line break last: the last line's rows are worked out afresh at
    // every look, which would make reading all of them quadratic here.)
    pane.AppendLog(0, QStringLiteral("\n"));
    LogRows rows(store);
    // (At least a dump row's eight: a row is found by reading from a mark
    // before it, and every row is read here.)
    rows.setColumns(8 + qint64(size % 89));
    rows.setDump(true);
    qint64 next = 0;
    for (qint64 index = 0; index < rows.count(); ++index) {
        const LogRows::Row row = rows.row(index);
        if (next < row.first && store.text(next, row.first) == QStringLiteral("\n"))
            next = row.first; // a line break is no row's
        FUZZ_CHECK_EQ(row.first, next);
        if (row.dumpOffset >= 0) {
            FUZZ_CHECK_EQ(row.text, dumpRow(row.dumpOffset, [&] {
                              QByteArray bytes;
                              for (size_t k = 0; k + 1 < row.tokens.size(); ++k)
                                  bytes += char(store.text(row.tokens[k], row.tokens[k + 1]).trimmed().toUInt(nullptr, 16));
                              return bytes;
                          }()));
        }
        if (row.end > row.first)
            FUZZ_CHECK_EQ(rows.rowOf(row.first), index);
        next = row.end;
    }
    FUZZ_CHECK_EQ(next, end + 1);
    return 0;
}
