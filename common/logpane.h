#pragma once

#include <QPlainTextEdit>
#include <QTimer>

// The message log: one append-only text with a colour per character. Text
// always lands at the end, whatever the user's caret or selection, and always
// as plain text. The view follows the end unless the user scrolled up.
class LogPane : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LogPane(QWidget *parent = nullptr);

    // `colour` is 0x00BBGGRR.
    void AppendLog(quint32 colour, const QString &text);
    void clearLog();

    // Characters that would hide or break what follows them in the document
    // (NUL, the document's own frame and object markers) are shown as
    // visible stand-ins.
    static QString displayable(const QString &text);

    // Painting is the cost of a busy log, not inserting: repaint at most
    // this often while text keeps arriving.
    static constexpr int kRepaintIntervalMs = 20;

private:
    QTimer m_repaint;
};
