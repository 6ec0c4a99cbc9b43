// SPDX-License-Identifier: MIT
#pragma once

#include "logstore.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <functional>

#include <deque>
#include <unordered_map>
#include <vector>

class LogFindBar;
class LogRecorder;
class QAction;
class QMenu;
class QMimeData;
class QTextLayout;

// The message log: one append-only text with a colour per character, kept
// in a compact store and drawn by rows, only those on screen. Text always
// lands at the end, whatever the user's caret or selection, and always as
// plain text. The view follows the end unless the user scrolled up.
//
// Lines wrap at the pane's width on a fixed-pitch grid, a wide (CJK)
// character taking two cells. A line of ordinary length wraps after a space
// where it can; a longer one (a big listing or a flood of text) is cut
// every so many cells, so that its rows follow from its length alone and
// showing any part of it costs what that part costs.
class LogPane : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit LogPane(QWidget *parent = nullptr);
    ~LogPane() override;

    // `colour` is 0x00BBGGRR.
    void AppendLog(quint32 colour, const QString &text);
    // The listing of received or sent bytes, as FormatHexBytes writes it,
    // kept as the bytes themselves.
    void AppendListing(quint32 colour, const QByteArray &bytes);
    void clearLog();

    // Characters that would hide or break what follows them (NUL, the
    // markers a text document takes for its own structure, a lone half of
    // a surrogate pair) are shown as visible stand-ins.
    static QString displayable(const QString &text);
    // NUL shows as the symbol for null, the others as the replacement
    // character.
    static constexpr char16_t kNulStandIn = 0x2400;
    static constexpr char16_t kMarkerStandIn = 0xFFFD;

    // The log's text as it reads: line breaks as "\n".
    QString logText() const;
    QString textBetween(qint64 from, qint64 to) const;
    const LogStore &store() const { return m_store; }

    // The selection, as positions of the log's text; empty when they meet.
    qint64 selectionStart() const { return std::min(m_anchor, m_caret); }
    qint64 selectionEnd() const { return std::max(m_anchor, m_caret); }
    qint64 caretPosition() const { return m_caret; }
    QString selectedText() const;
    void setSelection(qint64 anchor, qint64 caret);
    void selectAll();
    // Puts the selection on the clipboard (as UTF-8: no second copy of a
    // large selection is made).
    void copy() const;
    // Asks where, and saves the whole log there as text or, by the type
    // chosen, as a page that keeps the colours; a failure is told in a
    // notice.
    void saveLog();
    // An action the window adds to the log's context menu (not owned).
    void addContextAction(QAction *action);
    // Records everything appended from now on to a file the user picks;
    // off again when `on` is false.
    void setRecording(bool on);
    LogRecorder *recorder() const { return m_recorder; }
    // The find field over the bottom of the log (Ctrl+F, F3, Shift+F3).
    LogFindBar *findBar() const { return m_find; }

    // Rows of text the pane shows, and the cells of a row.
    qint64 rowCount() const { return m_rowCount; }
    qint64 columns() const { return m_columns; }
    // The first row on screen.
    qint64 topRow() const;
    // The row a position is drawn in.
    qint64 rowOf(qint64 position) const;
    // The position drawn at a point of the viewport (nearest character
    // boundary).
    qint64 positionAt(const QPoint &point) const;
    // Where the character at `position` is drawn in the viewport.
    QRect characterRect(qint64 position) const;
    // Scrolls so that `position` is on screen, and not under the find field.
    void ensureVisible(qint64 position);
    // How much of the bottom of the viewport something is drawn over (the
    // find field): the rows there scroll up above it, and following the
    // end keeps the last line in sight.
    void coverBottom(int height);

    QSize sizeHint() const override;

signals:
    void selectionChanged();
    // Text was added at [from, to) of the log.
    void appended(qint64 from, qint64 to);

protected:
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;

private:
    struct Row
    {
        qint64 line;
        qint64 first; // position of its first character
        qint64 end;   // position after its last
        QString text; // as drawn: control characters as their pictures
        std::vector<std::pair<int, quint32>> colours; // (length, colour) runs
    };
    Row row(qint64 index) const;
    // Rows of `line` at the current width.
    qint64 rowsOf(qint64 line) const;
    // The cell row `k` of `line` starts at, and the row of a cell.
    qint64 rowStartCell(qint64 line, qint64 k) const;
    qint64 rowOfCell(qint64 line, qint64 cell) const;
    // Where the rows of a line of ordinary length start (cells), broken
    // after a space where one is near.
    const std::vector<qint64> &wrapTable(qint64 line) const;
    bool wrapsAtWords(qint64 line) const { return m_store.lineLength(line) <= kWordWrapLimit; }
    // Brings the row index up to date from `line` on.
    void reindexFrom(qint64 line);
    void relayout();
    void updateScrollRange();
    void layoutRow(const Row &r, QTextLayout &layout) const;
    QPoint rowOrigin(qint64 index) const;
    qint64 rowAtY(int y) const;
    qint64 positionInRow(const Row &r, int x) const;
    void moveCaret(qint64 position, bool extend);
    qint64 wordStart(qint64 position) const;
    qint64 wordEnd(qint64 position) const;
    void announceSelection();
    // Writes to the store through `write`, then brings the rows, the scroll
    // bar and the screen up to date.
    void appendWith(const std::function<void()> &write);
    void scheduleRepaint();
    void autoScroll();
    QMenu *createContextMenu();
    QMimeData *selectionAsMimeData() const;
    QList<QAction *> m_extraActions;

    // Painting is the cost of a busy log, not storing: while text keeps
    // arriving the pane repaints at most this often.
    static constexpr int kRepaintIntervalMs = 20;
    QTimer m_repaint;
    bool m_appending = false;

    // The longest line that wraps at words.
    static constexpr qint64 kWordWrapLimit = 8192;

    LogStore m_store;
    // The word-wrapped rows of recently drawn lines (line -> row start cells).
    mutable std::unordered_map<qint64, std::vector<qint64>> m_wrapCache;
    // The rows of each line, two bytes a line (kCountedRows: a line cut
    // every so many cells, whose rows follow from its length), and the
    // first row of every kRowBlock lines; in blocks, so that growing never
    // copies them whole.
    static constexpr quint16 kCountedRows = 0xFFFF;
    static constexpr qint64 kRowBlock = 64;
    std::deque<quint16> m_lineRows{1};
    std::deque<qint64> m_blockRow{0};
    qint64 m_rowCount = 1;
    qint64 rowsAt(qint64 line) const
    {
        const quint16 rows = m_lineRows[size_t(line)];
        return rows == kCountedRows ? rowsOf(line) : rows;
    }
    // The first row of a line, and the line of a row.
    qint64 rowStartOf(qint64 line) const;
    qint64 lineOfRow(qint64 row) const;
    qint64 m_columns = 80;
    qreal m_cellWidth = 8;
    int m_rowHeight = 16;
    int m_coveredHeight = 0;

    qint64 m_anchor = 0;
    qint64 m_caret = 0;
    bool m_selecting = false;
    bool m_wordSelecting = false;
    qint64 m_wordAnchorStart = 0, m_wordAnchorEnd = 0;
    QPoint m_lastMouse;
    QTimer m_autoScroll;

    // Last: they reach the store as they are made.
    LogRecorder *m_recorder;
    LogFindBar *m_find;
};
