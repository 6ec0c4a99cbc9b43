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
    // NUL shows as the symbol for null, the markers as the replacement
    // character.
    static constexpr char16_t kNulStandIn = 0x2400;
    static constexpr char16_t kMarkerStandIn = 0xFFFD;

    // The log's text as it reads: line breaks as "\n", and a long line whole
    // even where the pane holds it in several blocks (the document's own
    // text would show those block joins).
    QString logText() const;
    // The same for the characters from `from` to `to` of the document.
    QString textBetween(int from, int to) const;

    // A line longer than this many characters is held in blocks of about
    // this size: the pane then lays out only the blocks on screen, so a
    // multi-megabyte listing costs what its visible part costs.
    static constexpr qsizetype kSegment = 4096;

    // Painting is the cost of a busy log, not inserting: repaint at most
    // this often while text keeps arriving.
    static constexpr int kRepaintIntervalMs = 20;

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    QTimer m_repaint;
};
