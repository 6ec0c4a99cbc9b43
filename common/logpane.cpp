#include "logpane.h"

#include "lamp.h"

#include <QFontDatabase>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LogPane::LogPane(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    document()->setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Hex listings read best in columns; Chinese falls back as usual.
    // Plain Latin text needs no shaping: skipping it halves the layout of a
    // long listing.
    QFont face = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    face.setStyleStrategy(QFont::PreferNoShaping);
    setFont(face);

    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintIntervalMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
}

namespace {

// What the document takes for its own structure: the start and end of a
// frame, and the place of an embedded object.
constexpr char16_t kFrameStart = 0xFDD0;
constexpr char16_t kFrameEnd = 0xFDD1;
constexpr char16_t kObjectMarker = 0xFFFC;

// Marks a block that continues the line of the block before it.
constexpr int kContinuation = QTextFormat::UserProperty + 1;

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// Where to cut a run that reached the segment size at `at`: just before a
// run of spaces close by, so a listing's "  FF" tokens stay whole, and never
// inside a surrogate pair.
qsizetype cutPoint(const QString &text, qsizetype at, qsizetype floor)
{
    for (qsizetype k = at; k > floor && k > at - 16; --k)
        if (text.at(k) == u' ' && text.at(k - 1) != u' ')
            return k;
    if (at > floor && text.at(at - 1).isHighSurrogate())
        return at - 1;
    return at;
}

} // namespace

QString LogPane::displayable(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == 0 || c == kFrameStart || c == kFrameEnd || c == kObjectMarker) {
            if (out.isNull())
                out = text;
            out[i] = QChar(c == 0 ? kNulStandIn : kMarkerStandIn);
        }
    }
    return out.isNull() ? text : out;
}

void LogPane::AppendLog(quint32 colour, const QString &text)
{
    if (text.isEmpty())
        return;
    if (!m_repaint.isActive() && isVisible()) {
        setUpdatesEnabled(false);
        m_repaint.start();
    }
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();

    QTextCharFormat format;
    format.setForeground(ColourFromBgr(colour));
    QTextBlockFormat continuation;
    continuation.setProperty(kContinuation, true);
    const QString shown = displayable(text);

    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    qsizetype run = cursor.block().length() - 1; // characters already on this line
    qsizetype pending = 0;                       // start of what is not yet inserted
    const qsizetype n = shown.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = shown.at(i);
        if (isLineBreak(c)) {
            cursor.insertText(shown.mid(pending, i - pending), format);
            // A line break of the text starts an ordinary block, whatever
            // the block before it was.
            cursor.insertBlock(QTextBlockFormat(), format);
            if (c == u'\r' && i + 1 < n && shown.at(i + 1) == u'\n')
                ++i;
            pending = i + 1;
            run = 0;
            continue;
        }
        if (++run >= kSegment && i + 1 < n && !isLineBreak(shown.at(i + 1))) {
            const qsizetype cut = cutPoint(shown, i + 1, pending);
            cursor.insertText(shown.mid(pending, cut - pending), format);
            cursor.insertBlock(continuation, format);
            pending = cut;
            run = i + 1 - cut;
        }
    }
    cursor.insertText(shown.mid(pending), format);
    cursor.endEditBlock();

    if (following)
        bar->setValue(bar->maximum());
}

QString LogPane::textBetween(int from, int to) const
{
    QString out;
    const QTextDocument *doc = document();
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to; block = block.next()) {
        const int begin = std::max(from, block.position());
        const int end = std::min(to, block.position() + block.length() - 1);
        if (begin > block.position() + block.length() - 1)
            continue;
        if (block.position() > from && block.position() <= to && !block.blockFormat().boolProperty(kContinuation))
            out += u'\n';
        out += block.text().mid(begin - block.position(), end - begin);
    }
    return out;
}

QString LogPane::logText() const
{
    return textBetween(0, document()->characterCount() - 1);
}

QMimeData *LogPane::createMimeDataFromSelection() const
{
    const QTextCursor selection = textCursor();
    auto *data = new QMimeData;
    data->setText(textBetween(selection.selectionStart(), selection.selectionEnd()));
    return data;
}

void LogPane::clearLog()
{
    clear();
}
