// SPDX-License-Identifier: MIT
#include "logpane.h"

#include "logcolours.h"
#include "logdump.h"
#include "logpaneaccessible.h"
#include "logtext.h"
#include "logwriter.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace {

// Space between the frame and the text, as a text box leaves.
constexpr int kMargin = 4;
// How often a drag beyond the edge scrolls one more row.
constexpr int kAutoScrollMs = 50;

QFont logFont()
{
    // A fixed pitch whose wide characters are exactly two cells keeps the
    // grid true for the Chinese texts of the log too.
    QFont face = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const QString &family : {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Noto Sans Mono CJK TC")}) {
        if (QFontDatabase::hasFamily(family)) {
            face.setFamilies({family});
            break;
        }
    }
    face.setStyleHint(QFont::Monospace);
    return face;
}

} // namespace

LogPane::LogPane(QWidget *parent)
    : QAbstractScrollArea(parent), m_ownStore(std::make_unique<LogStore>()), m_store(*m_ownStore)
{
    setUp();
}

LogPane::LogPane(LogPane *source, QWidget *parent)
    : QAbstractScrollArea(parent), m_store(source->m_store), m_source(source)
{
    m_rows.setDump(source->dumpView());
    setUp();
    m_knownLines = m_store.lineCount();
    m_rows.linesChanged(0);
    updateScrollRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    connect(source, &LogPane::appended, this, [this](qint64 from, qint64) {
        const qint64 changed = m_knownLines - 1;
        m_knownLines = m_store.lineCount();
        storeGrew(changed, from);
    });
    connect(source, &LogPane::cleared, this, &LogPane::restart);
}

void LogPane::setUp()
{
    installLogPaneAccessibility();
    setFont(logFont());
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    // The entries' colours (black, blue, red) are given: a dark desktop
    // theme would leave them unreadable, so the log keeps a white base and
    // black text whatever the palette; its scroll bar and find field follow
    // the desktop. (Roles set here survive theme changes.)
    QPalette readable = viewport()->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        readable.setColor(group, QPalette::Base, Qt::white);
        readable.setColor(group, QPalette::Text, Qt::black);
    }
    viewport()->setPalette(readable);
    verticalScrollBar()->setSingleStep(1);
    // Scrolling by the user shows at once; following the end as text comes
    // waits for the next repaint.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_appending)
            scheduleRepaint();
        else
            viewport()->update();
    });
    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kRepaintIntervalMs);
    connect(&m_repaint, &QTimer::timeout, this, [this] {
        verticalScrollBar()->setUpdatesEnabled(true);
        viewport()->update();
    });
    m_autoScroll.setInterval(kAutoScrollMs);
    connect(&m_autoScroll, &QTimer::timeout, this, &LogPane::autoScroll);
    relayout();
}

LogPane::~LogPane() = default;

QSize LogPane::sizeHint() const
{
    return QSize(400, 200);
}

void LogPane::AppendLog(quint32 colour, const QString &text)
{
    // A view shows; only its source writes.
    if (m_source)
        return;
    if (!text.isEmpty())
        appendWith([&] { m_store.append(colour, LogText::displayable(text)); });
}

KeptPlace LogPane::appendListing(quint32 colour, const QByteArray &bytes)
{
    KeptPlace place;
    if (!bytes.isEmpty() && !m_source)
        appendWith([&] { place = m_store.appendListing(colour, bytes); });
    return place;
}

void LogPane::appendWith(const std::function<void()> &write)
{
    const qint64 from = m_store.size();
    const qint64 changed = m_store.lineCount() - 1;
    write();
    // The log left the disk for memory: said once, after the entry that
    // found it so, as an entry of its own where someone stamps entries.
    const QString notice = m_store.notice();
    const bool stamped = !notice.isEmpty() && isSignalConnected(QMetaMethod::fromSignal(&LogPane::storageNotice));
    if (!notice.isEmpty() && !stamped)
        m_store.append(kRed, QStringLiteral("\r\n  ") + notice);
    storeGrew(changed, from);
    if (stamped)
        emit storageNotice(notice);
}

void LogPane::storeGrew(qint64 changed, qint64 from)
{
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    m_rows.linesChanged(changed);
    m_appending = true;
    updateScrollRange();
    if (following)
        bar->setValue(bar->maximum());
    m_appending = false;
    scheduleRepaint();
    emit appended(from, m_store.size());
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, int(std::min<qint64>(from, INT_MAX)), m_store.text(from, m_store.size()));
        QAccessible::updateAccessibility(&inserted);
    }
}

void LogPane::scheduleRepaint()
{
    if (m_repaint.isActive() || !isVisible())
        return;
    // The scroll bar too: drawing it on every entry costs more than the
    // entry.
    verticalScrollBar()->setUpdatesEnabled(false);
    m_repaint.start();
}

void LogPane::clearLog()
{
    if (m_source) {
        m_source->clearLog();
        return;
    }
    m_store.clear();
    restart();
    emit cleared();
}

void LogPane::restart()
{
    m_knownLines = 1;
    m_rows.clear();
    m_anchor = m_caret = 0;
    m_selecting = false;
    updateScrollRange();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleEvent cleared(this, QAccessible::TextUpdated);
        QAccessible::updateAccessibility(&cleared);
    }
    emit selectionChanged();
}

QString LogPane::logText() const
{
    return m_store.text(0, m_store.size());
}

QString LogPane::textBetween(qint64 from, qint64 to) const
{
    return m_store.text(from, to);
}

QString LogPane::selectedText() const
{
    return dumpView() ? LogDump::text(m_store, selectionStart(), selectionEnd())
                      : m_store.text(selectionStart(), selectionEnd());
}

void LogPane::setDumpView(bool on)
{
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    // The line at the top stays at the top.
    const qint64 topLine = m_rows.lineOf(topRow());
    if (!m_rows.setDump(on))
        return;
    updateScrollRange();
    bar->setValue(following ? bar->maximum() : int(std::min<qint64>(m_rows.firstRowOf(topLine), INT_MAX)));
    viewport()->update();
}

void LogPane::setSelection(qint64 anchor, qint64 caret)
{
    m_anchor = std::clamp<qint64>(anchor, 0, m_store.size());
    m_caret = std::clamp<qint64>(caret, 0, m_store.size());
    announceSelection();
}

void LogPane::selectAll()
{
    setSelection(0, m_store.size());
}

bool LogPane::fitsClipboard(qint64 from, qint64 to) const
{
    // A character is one to three bytes of UTF-8: mostly told without
    // counting.
    const qint64 chars = to - from;
    if (dumpView()) // (a dump row is longer than the listing it shows)
        return chars <= kLargestCopy && LogDump::utf8Size(m_store, from, to) <= kLargestCopy;
    if (chars * 3 <= kLargestCopy)
        return true;
    return chars <= kLargestCopy && m_store.utf8Size(from, to) <= kLargestCopy;
}

void LogPane::copy()
{
    const qint64 from = selectionStart(), to = selectionEnd();
    if (to <= from)
        return;
    if (!fitsClipboard(from, to) && isSignalConnected(QMetaMethod::fromSignal(&LogPane::copyTooLarge))) {
        emit copyTooLarge(from, to);
        return;
    }
    QGuiApplication::clipboard()->setMimeData(LogWriter::mimeData(m_store, from, to, dumpView()), QClipboard::Clipboard);
}

// Layout ---------------------------------------------------------------------

void LogPane::relayout()
{
    const QFontMetricsF metrics(font());
    m_cellWidth = std::max<qreal>(1, metrics.horizontalAdvance(u'0'));
    m_rowHeight = std::max(1, int(std::ceil(metrics.lineSpacing())));
    // One cell is kept free at the right: a wide character that starts in
    // the last cell of a row reaches into it.
    const int usable = viewport()->width() - 2 * kMargin;
    const qint64 columns = std::max<qint64>(1, qint64(std::floor(usable / m_cellWidth)) - 1);
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    // The line at the top stays at the top.
    const qint64 topLine = m_rows.lineOf(topRow());
    m_rows.setColumns(columns);
    updateScrollRange();
    if (following)
        bar->setValue(bar->maximum());
    else
        bar->setValue(int(std::min<qint64>(m_rows.firstRowOf(topLine), INT_MAX)));
    viewport()->update();
}

void LogPane::updateScrollRange()
{
    QScrollBar *bar = verticalScrollBar();
    const int visible = std::max(1, (viewport()->height() - m_coveredHeight - kMargin) / m_rowHeight);
    const qint64 top = std::max<qint64>(0, rowCount() - visible);
    bar->setPageStep(visible);
    bar->setRange(0, int(std::min<qint64>(top, INT_MAX)));
}

qint64 LogPane::topRow() const
{
    return verticalScrollBar()->value();
}

void LogPane::layoutRow(const Row &r, QTextLayout &layout) const
{
    layout.setText(r.text);
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    // Rows read left to right in arrival order, whatever script a row
    // starts with (a right-to-left run within it still reads as such).
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    int at = 0;
    for (const auto &[length, colour] : r.colours) {
        QTextLayout::FormatRange range;
        range.start = at;
        range.length = length;
        range.format.setForeground(QColor::fromRgb(rgbFromBgr(colour)));
        formats.append(range);
        at += length;
    }
    qint64 from = std::max(selectionStart(), r.first);
    qint64 to = std::min(selectionEnd(), r.end);
    if (r.dumpOffset >= 0 && to > from) {
        // A dump row is selected, and copied, whole.
        from = r.first;
        to = r.first + r.text.size();
    }
    if (to > from) {
        QTextLayout::FormatRange range;
        range.start = int(from - r.first);
        range.length = int(to - from);
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        range.format.setBackground(palette().brush(group, QPalette::Highlight));
        range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
        formats.append(range);
    }
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(1e6);
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
}

QPoint LogPane::rowOrigin(qint64 index) const
{
    return QPoint(kMargin, kMargin + int(index - topRow()) * m_rowHeight);
}

qint64 LogPane::rowAtY(int y) const
{
    const int offset = y - kMargin;
    const qint64 rows = offset >= 0 ? offset / m_rowHeight : -((-offset + m_rowHeight - 1) / m_rowHeight);
    return topRow() + rows;
}

qint64 LogPane::positionInRow(const Row &r, int x) const
{
    if (r.dumpOffset >= 0) {
        // The nearest boundary between bytes, by their digits or their
        // characters; before the digits, the row's start.
        const qint64 n = qint64(r.tokens.size()) - 1;
        const qreal cell = (x - kMargin) / m_cellWidth;
        qint64 k;
        if (cell < LogDump::kHexColumn)
            k = 0;
        else if (cell >= LogDump::kTextColumn)
            k = qint64(std::lround(cell - LogDump::kTextColumn));
        else
            k = qint64(std::floor((cell - LogDump::kHexColumn + 1.5) / 3));
        return r.tokens[size_t(std::clamp<qint64>(k, 0, n))];
    }
    QTextLayout layout;
    layoutRow(r, layout);
    const QTextLine line = layout.lineAt(0);
    if (!line.isValid())
        return r.first;
    const int cursor = line.xToCursor(x - kMargin);
    return r.first + std::clamp<qint64>(cursor, 0, r.text.size());
}

qint64 LogPane::positionAt(const QPoint &point) const
{
    const qint64 index = rowAtY(point.y());
    if (index < 0)
        return 0;
    if (index >= rowCount())
        return m_store.size();
    return positionInRow(m_rows.row(index), point.x());
}

qreal LogPane::dumpX(const Row &r, qint64 k) const
{
    return (LogDump::kHexColumn + 3 * k - (k == qint64(r.tokens.size()) - 1 && k > 0 ? 1 : 0)) * m_cellWidth;
}

QRect LogPane::characterRect(qint64 position) const
{
    const qint64 index = rowOf(position);
    const Row r = m_rows.row(index);
    if (r.dumpOffset >= 0) {
        // A byte's digits.
        const QPoint origin = rowOrigin(index);
        return QRect(origin.x() + int(dumpX(r, r.dumpByteAt(position))), origin.y(), int(std::ceil(2 * m_cellWidth)),
                     m_rowHeight);
    }
    QTextLayout layout;
    layoutRow(r, layout);
    const QTextLine line = layout.lineAt(0);
    const QPoint origin = rowOrigin(index);
    const int at = int(std::clamp<qint64>(position - r.first, 0, r.text.size()));
    const qreal x = line.isValid() ? line.cursorToX(at) : 0;
    const qreal next = line.isValid() && at < r.text.size() ? line.cursorToX(at + 1) : x + m_cellWidth;
    return QRect(origin.x() + int(x), origin.y(), std::max(1, int(std::ceil(next - x))), m_rowHeight);
}

void LogPane::ensureVisible(qint64 position)
{
    const qint64 index = rowOf(position);
    QScrollBar *bar = verticalScrollBar();
    const qint64 visible = bar->pageStep();
    if (index < topRow())
        bar->setValue(int(std::min<qint64>(index, INT_MAX)));
    else if (index >= topRow() + visible)
        bar->setValue(int(std::min<qint64>(index - visible + 1, INT_MAX)));
}

void LogPane::showMatch(qint64 from, qint64 to)
{
    setSelection(from, to);
    ensureVisible(to);
    ensureVisible(from);
}

void LogPane::coverBottom(int height)
{
    if (height == m_coveredHeight)
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    m_coveredHeight = height;
    updateScrollRange();
    if (following)
        bar->setValue(bar->maximum());
}

// Painting -------------------------------------------------------------------

void LogPane::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const qint64 top = topRow();
    const qint64 shown = viewport()->height() / m_rowHeight + 2;
    const bool caretShown = hasFocus();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    for (qint64 i = 0; i < shown && top + i < rowCount(); ++i) {
        const qint64 index = top + i;
        const Row r = m_rows.row(index);
        QTextLayout layout;
        layoutRow(r, layout);
        const QPoint origin = rowOrigin(index);
        layout.draw(&painter, origin);
        const QTextLine line = layout.lineAt(0);
        const qreal textEnd = line.isValid() ? line.cursorToX(int(r.text.size())) : 0;
        // A selected line break shows as one selected cell after the text.
        const bool lastRowOfLine = index == m_rows.firstRowOf(r.line) + m_rows.rowsIn(r.line) - 1;
        if (lastRowOfLine && selectionStart() <= r.end && r.end < selectionEnd() && r.line + 1 < m_store.lineCount())
            painter.fillRect(QRectF(origin.x() + textEnd, origin.y(), m_cellWidth, m_rowHeight),
                             palette().brush(group, QPalette::Highlight));
        if (caretShown && m_caret >= r.first && (m_caret < r.end || (m_caret == r.end && lastRowOfLine))) {
            const qreal x = r.dumpOffset >= 0 ? dumpX(r, r.dumpByteAt(m_caret))
                : line.isValid()              ? line.cursorToX(int(m_caret - r.first))
                                              : 0;
            painter.fillRect(QRectF(origin.x() + x, origin.y(), 1, m_rowHeight),
                             viewport()->palette().brush(group, QPalette::Text));
        }
    }
}

void LogPane::scrollContentsBy(int, int)
{
    // Repainting is decided where the scroll bar moves (see the constructor).
}

void LogPane::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void LogPane::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

bool LogPane::event(QEvent *event)
{
    // The log's own keys come before any shortcut of the window.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)
            || key->matches(QKeySequence::Save) || key->matches(QKeySequence::Find)
            || key->matches(QKeySequence::FindNext) || key->matches(QKeySequence::FindPrevious)
            || (key->key() == Qt::Key_F11 && key->modifiers() == Qt::NoModifier)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogPane::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogPane::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// Selection --------------------------------------------------------------------

void LogPane::announceSelection()
{
    viewport()->update();
    emit selectionChanged();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent selection(this, int(std::min<qint64>(selectionStart(), INT_MAX)),
                                                int(std::min<qint64>(selectionEnd(), INT_MAX)));
        selection.setCursorPosition(int(std::min<qint64>(m_caret, INT_MAX)));
        QAccessible::updateAccessibility(&selection);
    }
}

void LogPane::moveCaret(qint64 position, bool extend)
{
    position = std::clamp<qint64>(position, 0, m_store.size());
    m_caret = position;
    if (!extend)
        m_anchor = position;
    ensureVisible(position);
    announceSelection();
}

void LogPane::keyPressEvent(QKeyEvent *event)
{
    // The keys of the commands beside the log, then the log's own.
    const std::pair<QKeySequence::StandardKey, std::function<void()>> commands[] = {
        {QKeySequence::Copy, [this] { copy(); }},
        {QKeySequence::SelectAll, [this] { selectAll(); }},
        {QKeySequence::Save, [this] { emit saveRequested(); }},
        {QKeySequence::Find, [this] { emit findRequested(); }},
        {QKeySequence::FindNext, [this] { emit findNextRequested(); }},
        {QKeySequence::FindPrevious, [this] { emit findPreviousRequested(); }},
    };
    for (const auto &[key, run] : commands) {
        if (event->matches(key)) {
            run();
            return;
        }
    }
    if (event->key() == Qt::Key_F11 && event->modifiers() == Qt::NoModifier) {
        emit largeViewRequested();
        return;
    }
    LogCaret::Move move;
    bool extend = false;
    if (LogCaret::moveOfKey(event, &move, &extend)) {
        const qint64 page = std::max(1, verticalScrollBar()->pageStep());
        // A page key scrolls the view by a page as well.
        if (move == LogCaret::PageUp)
            verticalScrollBar()->setValue(int(std::max<qint64>(0, topRow() - page)));
        else if (move == LogCaret::PageDown)
            verticalScrollBar()->setValue(int(std::min<qint64>(topRow() + page, INT_MAX)));
        moveCaret(m_moves.moved(m_caret, move, page), extend);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void LogPane::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qint64 at = positionAt(event->position().toPoint());
    m_selecting = true;
    m_wordSelecting = false;
    m_lastMouse = event->position().toPoint();
    if (event->modifiers() & Qt::ShiftModifier) {
        m_caret = at;
    } else {
        m_anchor = m_caret = at;
    }
    announceSelection();
}

void LogPane::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    m_lastMouse = event->position().toPoint();
    const QRect inside = viewport()->rect();
    if (m_lastMouse.y() < inside.top() || m_lastMouse.y() > inside.bottom()) {
        if (!m_autoScroll.isActive())
            m_autoScroll.start();
    } else {
        m_autoScroll.stop();
    }
    const qint64 at = positionAt(m_lastMouse);
    if (m_wordSelecting) {
        if (at < m_wordAnchorStart) {
            m_anchor = m_wordAnchorEnd;
            m_caret = m_moves.wordStart(at);
        } else {
            m_anchor = m_wordAnchorStart;
            m_caret = std::max(m_moves.wordEnd(at), m_wordAnchorEnd);
        }
    } else {
        m_caret = at;
    }
    announceSelection();
}

void LogPane::autoScroll()
{
    QScrollBar *bar = verticalScrollBar();
    if (m_lastMouse.y() < 0)
        bar->setValue(bar->value() - 1);
    else
        bar->setValue(bar->value() + 1);
    m_caret = positionAt(m_lastMouse);
    announceSelection();
}

void LogPane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_selecting = false;
    m_autoScroll.stop();
    // What the mouse selected is the primary selection of the desktop, as
    // in any text box here (up to what a copy takes).
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && selectionEnd() > selectionStart()
        && fitsClipboard(selectionStart(), selectionEnd()))
        clipboard->setMimeData(LogWriter::mimeData(m_store, selectionStart(), selectionEnd(), dumpView()),
                              QClipboard::Selection);
}

void LogPane::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qint64 at = positionAt(event->position().toPoint());
    std::tie(m_wordAnchorStart, m_wordAnchorEnd) = m_moves.wordAt(at);
    m_anchor = m_wordAnchorStart;
    m_caret = m_wordAnchorEnd;
    m_selecting = true;
    m_wordSelecting = true;
    announceSelection();
}

QMenu *LogPane::createContextMenu()
{
    auto *menu = new QMenu(this);
    // Qt's own words, so that its translations apply.
    QAction *copyAction = menu->addAction(QCoreApplication::translate("QWidgetTextControl", "&Copy"), this, &LogPane::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(selectionEnd() > selectionStart());
    menu->addSeparator();
    QAction *all = menu->addAction(QCoreApplication::translate("QWidgetTextControl", "Select All"), this, &LogPane::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(m_store.size() > 0);
    menu->addActions(m_contextActions);
    return menu;
}

void LogPane::setContextActions(const QList<QAction *> &actions)
{
    m_contextActions = actions;
}

void LogPane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
