// The message log: after any sequence of AppendLog calls the pane reads as
// the appended texts one after another (each line break as "\n", the
// stand-ins in place), every character has the colour it was appended in,
// and copying reads the same: all of it at once, or in two parts cut
// anywhere.
//
// Input: a sequence of appends. Each starts with a byte whose low two bits
// pick the colour (black, red, blue, or three bytes B G R that follow) and
// whose other six bits repeat the text up to 64 times (so that a line
// outgrows the pane's block size); then a length byte and the text, one
// character per byte below 0x80 (printable ASCII, line breaks, the
// characters the pane replaces, surrogates and other awkward ones), a
// UTF-16 unit from each pair of bytes at 0x80 and up.

#include "fuzzcheck.h"
#include "logpane.h"

#include <QApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <vector>

namespace {

constexpr int kMostAppends = 64;
constexpr qsizetype kMostCharacters = 24000;

// The copy the pane would put on the clipboard, without a clipboard.
class Pane : public LogPane
{
public:
    using LogPane::createMimeDataFromSelection;

    QString copied(int from, int to)
    {
        QTextCursor cursor(document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        const std::unique_ptr<QMimeData> data(createMimeDataFromSelection());
        return data->text();
    }
};

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
};

void expectAppend(Expected &e, quint32 bgr, const QString &text)
{
    const QRgb colour = qRgb(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n' || c == 0x2029) {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            e.text += u'\n';
            continue;
        }
        // Stand-ins for what the document would take as its own markers.
        if (c == 0)
            c = 0x2400;
        else if (c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC)
            c = 0xFFFD;
        e.text += QChar(c);
        e.characters += QChar(c);
        e.colours.push_back(colour);
    }
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
    Pane pane;
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
        const QString piece = textFrom(in, in.next() % 48);
        const QString text = piece.repeated(1 + (head >> 2));
        if (total + text.size() > kMostCharacters)
            break;
        total += text.size();
        pane.AppendLog(colour, text);
        expectAppend(want, colour, text);
    }

    FUZZ_CHECK_EQ(pane.logText(), want.text);

    // Every character in the colour of its own append, in order, none lost
    // or doubled at the pane's block joins.
    QString characters;
    std::vector<QRgb> colours;
    for (QTextBlock block = pane.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QRgb colour = fragment.charFormat().foreground().color().rgb();
            characters += fragment.text();
            colours.insert(colours.end(), size_t(fragment.text().size()), colour);
        }
    }
    FUZZ_CHECK_EQ(characters, want.characters);
    for (size_t i = 0; i < colours.size(); ++i) {
        if (colours[i] != want.colours[i])
            fuzz::failEqual(__FILE__, __LINE__, "colour of a character", qint64(colours[i]), qint64(want.colours[i]));
    }

    // Copying all of it, as select-all and copy do.
    pane.selectAll();
    {
        const std::unique_ptr<QMimeData> copy(pane.createMimeDataFromSelection());
        FUZZ_CHECK_EQ(copy->text(), want.text);
    }

    // Copying in two parts, cut at any place of the document (a line
    // break, a join between blocks of one long line, the ends).
    const int end = pane.document()->characterCount() - 1;
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    for (int k = 0; k < 3; ++k) {
        const int cut = int((hash >> (k * 8)) % uint32_t(end + 1));
        FUZZ_CHECK_EQ(pane.copied(0, cut) + pane.copied(cut, end), want.text);
        // A selection made backwards copies the same.
        FUZZ_CHECK_EQ(pane.copied(end, cut), pane.copied(cut, end));
    }
    return 0;
}
