#pragma once

#include "form1.h"
#include "logpane.h"

#include <QComboBox>
#include <QStringList>

// Reading the serial window as its user does, for the tests that run it
// over a real control.
namespace serialwindowlog {

inline QString logText(Form1 &w)
{
    return w.TxtMsg->logText();
}

inline QString lastLine(Form1 &w)
{
    return logText(w).split(u'\n').last();
}

// What follows `header` on each line that has it, in order.
inline QStringList entriesAfter(Form1 &w, const QString &header)
{
    QStringList texts;
    for (const QString &line : logText(w).split(u'\n')) {
        const qsizetype at = line.indexOf(header);
        if (at >= 0)
            texts.append(line.mid(at + header.size()));
    }
    return texts;
}

// The texts of all "received text" entries, in order.
inline QStringList receivedTexts(Form1 &w)
{
    return entriesAfter(w, QStringLiteral("  接收文本：  "));
}

inline void select(QComboBox *box, const QString &text)
{
    box->setCurrentIndex(box->findText(text));
}

} // namespace serialwindowlog
