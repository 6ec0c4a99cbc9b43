// SPDX-License-Identifier: MIT
#pragma once

#include "logcaret.h"
#include "findtarget.h"
#include "logrows.h"
#include "logstore.h"

#include <QAbstractScrollArea>
#include <QList>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QTextLayout;

// The message log: one append-only text with a colour per character, kept
// in a compact store and drawn by rows (LogRows), only those on screen. Text
// always lands at the end, whatever the user's caret or selection, and
// always as plain text. The view follows the end unless the user scrolled
// up. Read-only for typing; selectable and copyable.
//
// Finding and saving belong to whoever builds the window: the pane only
// tells of their keys, and shows in its context menu the actions it is
// given.
class LogPane : public QAbstractScrollArea, public FindTarget
{
    Q_OBJECT
public:
    explicit LogPane(QWidget *parent = nullptr);
    // A second view of `source`'s log (a larger window): the same store,
    // no copy of it, following it live; its rows, scrolling and selection
    // are its own. Nothing is appended through it. `source` outlives it.
    explicit LogPane(LogPane *source, QWidget *parent = nullptr);
    ~LogPane() override;

    // `colour` is 0x00BBGGRR. What would hide or break what follows it is
    // stored as a visible stand-in (LogText).
    void AppendLog(quint32 colour, const QString &text);
    // The listing of received or sent bytes, as FormatHexBytes writes it,
    // kept as the bytes themselves.
    KeptPlace appendListing(quint32 colour, const QByteArray &bytes);
    void clearLog();

    // Listings shown as a dump: rows of sixteen bytes with their offsets
    // and characters (LogDump). The store stays as it is: selection, copy
    // and save read the listings as their rows, a dump row whole.
    void setDumpView(bool on);
    bool dumpView() const { return m_rows.dump(); }

    // The log's text as it reads: line breaks as "\n".
    QString logText() const;
    QString textBetween(qint64 from, qint64 to) const;
    const LogStore &store() const override { return m_store; }

    // The selection, as positions of the log's text; empty when they meet.
    qint64 selectionStart() const override { return std::min(m_anchor, m_caret); }
    qint64 selectionEnd() const override { return std::max(m_anchor, m_caret); }
    qint64 caretPosition() const override { return m_caret; }
    // As a copy gives it: in the dump view, with the dump's rows.
    QString selectedText() const;
    void setSelection(qint64 anchor, qint64 caret);
    void selectAll();
    // Puts the selection on the clipboard (as UTF-8: no second copy of a
    // large selection is made).
    // The selection to the clipboard; one larger than kLargestCopy is
    // offered to whoever listens to copyTooLarge instead (a clipboard holds
    // its text in memory, twice with the program that takes it).
    void copy();
    static constexpr qint64 kLargestCopy = qint64(64) << 20;
    // The actions that follow Copy and Select All in the context menu (not
    // owned); a separator action separates.
    void setContextActions(const QList<QAction *> &actions);

    // Rows of text the pane shows, and the cells of a row.
    qint64 rowCount() const { return m_rows.count(); }
    qint64 columns() const { return m_rows.columns(); }
    // The first row on screen.
    qint64 topRow() const;
    // The row a position is drawn in.
    qint64 rowOf(qint64 position) const { return m_rows.rowOf(position); }
    // The position drawn at a point of the viewport (nearest character
    // boundary).
    qint64 positionAt(const QPoint &point) const;
    // Where the character at `position` is drawn in the viewport.
    QRect characterRect(qint64 position) const;
    // Scrolls so that `position` is on screen, and not under the find field.
    void ensureVisible(qint64 position);

    // FindTarget: the field lies over the bottom of the viewport; the rows
    // there scroll up above it, and following the end keeps the last line
    // in sight.
    void showMatch(qint64 from, qint64 to) override;
    QWidget *findHost() override { return this; }
    QWidget *textArea() override { return viewport(); }
    void coverBottom(int height) override;

    QSize sizeHint() const override;

signals:
    void selectionChanged();
    // Text was added at [from, to) of the log.
    void appended(qint64 from, qint64 to);
    // The log was emptied (a view of it starts afresh).
    void cleared();
    // F11: the log in a larger window.
    void largeViewRequested();
    // The keys of finding (Ctrl+F, F3, Shift+F3) and saving (Ctrl+S).
    void findRequested();
    void findNextRequested();
    void findPreviousRequested();
    void saveRequested();
    // A copy of [from, to) would put more than kLargestCopy bytes on the
    // clipboard: nothing was copied.
    void copyTooLarge(qint64 from, qint64 to);
    // The log could no longer be kept on disk: `text` says why and what
    // now (once). Unheard, the pane writes it in red itself.
    void storageNotice(const QString &text);

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
    // (No more than kLargestCopy bytes as UTF-8.)
    bool fitsClipboard(qint64 from, qint64 to) const;
    using Row = LogRows::Row;
    void relayout();
    void updateScrollRange();
    void layoutRow(const Row &r, QTextLayout &layout) const;
    QPoint rowOrigin(qint64 index) const;
    qint64 rowAtY(int y) const;
    qint64 positionInRow(const Row &r, int x) const;
    // Where a dump row draws the boundary before its byte `k` (the cell
    // after its last byte's digits, for k == its bytes).
    qreal dumpX(const Row &r, qint64 k) const;
    void moveCaret(qint64 position, bool extend);
    void announceSelection();
    // Writes to the store through `write`, then brings the rows, the scroll
    // bar and the screen up to date.
    void appendWith(const std::function<void()> &write);
    // The store grew at `from`, its lines from `changedLine` on: the rows,
    // the scroll bar and the screen follow.
    void storeGrew(qint64 changedLine, qint64 from);
    // A view: the source emptied the store.
    void restart();
    void setUp();
    void scheduleRepaint();
    void autoScroll();
    QMenu *createContextMenu();

    std::unique_ptr<LogStore> m_ownStore; // (none in a view)
    LogStore &m_store;
    LogPane *m_source = nullptr; // a view's
    qint64 m_knownLines = 1;     // the store's lines a view has laid out
    LogRows m_rows{m_store};
    LogCaret m_moves{m_store, m_rows};
    QList<QAction *> m_contextActions;

    // Painting is the cost of a busy log, not storing: while text keeps
    // arriving the pane repaints at most this often.
    static constexpr int kRepaintIntervalMs = 20;
    QTimer m_repaint;
    bool m_appending = false;

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
};
