#pragma once

#include "logpane.h"

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>

// What a user sees in the log: its text (line breaks as "\n") and the colour
// of each character, as 0x00BBGGRR.

constexpr quint32 kMixedColours = 0xFFFFFFFF;

// The log as it reads (a long line whole).
inline QString logText(const LogPane *pane)
{
    return pane->logText();
}

inline quint32 colourAt(const QPlainTextEdit *pane, int position)
{
    QTextCursor c(pane->document());
    c.setPosition(position + 1); // the format of the character before
    const QColor col = c.charFormat().foreground().color();
    return quint32(col.red()) | (quint32(col.green()) << 8) | (quint32(col.blue()) << 16);
}

// The one colour of the `occurrence`-th `needle` in the log (line breaks
// excepted), kMixedColours when it is not uniform, 0xFFFFFFFE when absent.
inline quint32 colourOf(const QPlainTextEdit *pane, const QString &needle, int occurrence = 0)
{
    const QString text = pane->document()->toPlainText(); // positions as in the document
    qsizetype at = -1;
    for (int i = 0; i <= occurrence; ++i) {
        at = text.indexOf(needle, at + 1);
        if (at < 0)
            return 0xFFFFFFFE;
    }
    quint32 colour = kMixedColours;
    bool first = true;
    for (qsizetype i = at; i < at + needle.size(); ++i) {
        if (text.at(i) == u'\n')
            continue;
        const quint32 c = colourAt(pane, int(i));
        if (first)
            colour = c, first = false;
        else if (c != colour)
            return kMixedColours;
    }
    return colour;
}
