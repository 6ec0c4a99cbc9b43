#include "logpane.h"

#include "lamp.h"

#include <QFontDatabase>
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
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintIntervalMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] { viewport()->setUpdatesEnabled(true); });
}

QString LogPane::displayable(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == 0 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC) {
            if (out.isNull())
                out = text;
            out[i] = c == 0 ? QChar(0x2400) : QChar(QChar::ReplacementCharacter);
        }
    }
    return out.isNull() ? text : out;
}

void LogPane::AppendLog(quint32 colour, const QString &text)
{
    if (text.isEmpty())
        return;
    if (!m_repaint.isActive() && isVisible()) {
        viewport()->setUpdatesEnabled(false);
        m_repaint.start();
    }
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();

    QTextCharFormat format;
    format.setForeground(ColourFromBgr(colour));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(displayable(text), format);

    if (following)
        bar->setValue(bar->maximum());
}

void LogPane::clearLog()
{
    clear();
}
