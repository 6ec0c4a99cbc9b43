#include "logpane.h"

#include "lamp.h"

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
