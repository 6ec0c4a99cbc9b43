// SPDX-License-Identifier: MIT
#include "logpane.h"

#include "lamp.h"
#include "logfind.h"
#include "logpaneaccessible.h"
#include "logrecorder.h"
#include "logsave.h"
#include "messagebox.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <limits>
#include <cmath>

namespace {

// Space between the frame and the text, as a text box leaves.
constexpr int kMargin = 4;
// How often a drag beyond the edge scrolls one more row.
constexpr int kAutoScrollMs = 50;

// What a document takes for its own structure: the start and end of a
// frame, and the place of an embedded object.
constexpr char16_t kFrameStart = 0xFDD0;
constexpr char16_t kFrameEnd = 0xFDD1;
constexpr char16_t kObjectMarker = 0xFFFC;

// A control character is drawn as its picture, so that it takes its cell
// and shows what came; a tab as a space (the text keeps the character
// itself).
char16_t drawnAs(char16_t c)
{
    if (c == u'\t')
        return u' ';
    if (c < 0x20)
        return char16_t(0x2400 + c);
    if (c == 0x7F)
        return 0x2421;
    return c;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.isMark();
}

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

LogPane::LogPane(QWidget *parent) : QAbstractScrollArea(parent)
{
    m_recorder = new LogRecorder(this);
    m_find = new LogFindBar(this);
    InstallLogPaneAccessibility();
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
    connect(m_recorder, &LogRecorder::failed, this, [this](const QString &reason) {
        ShowNotice(this, QStringLiteral("记录中断：") + m_recorder->path() + u'\n' + reason, QStringLiteral("提示"));
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

QString LogPane::displayable(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        bool replace = c == 0 || c == kFrameStart || c == kFrameEnd || c == kObjectMarker;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i; // a whole pair
            continue;
        }
        replace = replace || QChar::isSurrogate(c);
        if (replace) {
            if (out.isNull())
                out = text;
            out[i] = QChar(c == 0 ? kNulStandIn : kMarkerStandIn);
        }
    }
    return out.isNull() ? text : out;
}

void LogPane::AppendLog(quint32 colour, const QString &text)
{
    if (!text.isEmpty())
        appendWith([&] { m_store.append(colour, displayable(text)); });
}

void LogPane::AppendListing(quint32 colour, const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        appendWith([&] { m_store.appendListing(colour, bytes); });
}

void LogPane::appendWith(const std::function<void()> &write)
{
    QScrollBar *bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const qint64 from = m_store.size();
    const qint64 changed = m_store.lineCount() - 1;
    write();
    m_recorder->record(m_store, from, m_store.size());
    reindexFrom(changed);
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
    m_store.clear();
    m_wrapCache.clear();
    std::deque<quint16>{1}.swap(m_lineRows);
    std::deque<qint64>{0}.swap(m_blockRow);
    m_rowCount = 1;
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
    return m_store.text(selectionStart(), selectionEnd());
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

QMimeData *LogPane::selectionAsMimeData() const
{
    auto *data = new QMimeData;
    const qint64 from = selectionStart(), to = selectionEnd();
    if (m_store.text(from, from + 1) == QChar(0xFEFF)) {
        // Text read back from UTF-8 loses a leading byte order mark.
        data->setText(m_store.text(from, to));
        return data;
    }
    QByteArray utf8;
    utf8.reserve(qsizetype(m_store.utf8Size(from, to))); // no more than the text itself
    m_store.writeUtf8(from, to, [&](const char *bytes, qint64 n) { utf8.append(bytes, n); });
    data->setData(QStringLiteral("text/plain"), utf8); // read as UTF-8
    return data;
}

void LogPane::copy() const
{
    if (selectionEnd() > selectionStart())
        QGuiApplication::clipboard()->setMimeData(selectionAsMimeData(), QClipboard::Clipboard);
}

// Rows and the grid ---------------------------------------------------------

namespace {

// Where the rows of a line of text start (cells), at `columns` cells a row:
// after the last space of a row where it has one, else where the row is
// full. Spaces stay at the end of their row, as in any text box, so a row
// starts with what follows them. Returns the row count; fills `starts`
// when given.
qint64 wrapRows(QStringView text, qint64 columns, std::vector<qint64> *starts)
{
    if (starts)
        starts->assign(1, 0);
    qint64 rows = 1;
    qint64 cell = 0;
    qint64 rowStart = 0;
    qint64 afterSpace = -1; // the cell after the last space of this row
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c == u' ') {
            afterSpace = ++cell;
            continue;
        }
        const int width = LogStore::cellWidth(c);
        while (cell + width - rowStart > columns && cell > rowStart) {
            rowStart = afterSpace > rowStart ? afterSpace : cell;
            ++rows;
            if (starts)
                starts->push_back(rowStart);
            afterSpace = -1;
        }
        cell += width;
    }
    return rows;
}

} // namespace

qint64 LogPane::rowsOf(qint64 line) const
{
    if (wrapsAtWords(line)) {
        // Counted without keeping the table: a flood of short lines would
        // only churn the cache of the lines on screen.
        if (m_store.lineCells(line) <= m_columns)
            return 1;
        const auto found = m_wrapCache.find(line);
        if (found != m_wrapCache.end() && line + 1 < m_store.lineCount())
            return qint64(found->second.size());
        return wrapRows(m_store.text(m_store.lineStart(line), m_store.lineStart(line) + m_store.lineLength(line)),
                        m_columns, nullptr);
    }
    const qint64 last = m_store.lineLastCell(line);
    return last < 0 ? 1 : last / m_columns + 1;
}

qint64 LogPane::rowStartCell(qint64 line, qint64 k) const
{
    if (wrapsAtWords(line)) {
        const std::vector<qint64> &table = wrapTable(line);
        return k < qint64(table.size()) ? table[size_t(k)] : m_store.lineCells(line);
    }
    return k * m_columns;
}

qint64 LogPane::rowOfCell(qint64 line, qint64 cell) const
{
    if (wrapsAtWords(line)) {
        const std::vector<qint64> &table = wrapTable(line);
        return std::max<qint64>(0, std::upper_bound(table.begin(), table.end(), cell) - table.begin() - 1);
    }
    return std::min(cell / m_columns, rowsOf(line) - 1);
}


const std::vector<qint64> &LogPane::wrapTable(qint64 line) const
{
    // The last line keeps growing: its rows are worked out afresh.
    const bool last = line + 1 == m_store.lineCount();
    auto found = m_wrapCache.find(line);
    if (found != m_wrapCache.end() && !last)
        return found->second;
    if (m_wrapCache.size() > 256)
        m_wrapCache.clear();
    std::vector<qint64> &starts = m_wrapCache[line];
    wrapRows(m_store.text(m_store.lineStart(line), m_store.lineStart(line) + m_store.lineLength(line)), m_columns, &starts);
    return starts;
}

void LogPane::reindexFrom(qint64 line)
{
    const qint64 lines = m_store.lineCount();
    m_wrapCache.erase(line); // it may have grown since
    m_lineRows.resize(size_t(lines));
    for (qint64 l = line; l < lines; ++l) {
        const qint64 rows = wrapsAtWords(l) ? rowsOf(l) : kCountedRows;
        m_lineRows[size_t(l)] = quint16(std::min<qint64>(rows, kCountedRows));
    }
    const qint64 blocks = (lines + kRowBlock - 1) / kRowBlock;
    m_blockRow.resize(size_t(blocks));
    const auto rowsOfBlock = [&](qint64 b) {
        qint64 rows = 0;
        for (qint64 l = b * kRowBlock; l < std::min(lines, (b + 1) * kRowBlock); ++l)
            rows += rowsAt(l);
        return rows;
    };
    for (qint64 b = std::max<qint64>(1, line / kRowBlock); b < blocks; ++b)
        m_blockRow[size_t(b)] = m_blockRow[size_t(b - 1)] + rowsOfBlock(b - 1);
    m_rowCount = m_blockRow[size_t(blocks - 1)] + rowsOfBlock(blocks - 1);
}

qint64 LogPane::rowStartOf(qint64 line) const
{
    qint64 row = m_blockRow[size_t(line / kRowBlock)];
    for (qint64 l = line / kRowBlock * kRowBlock; l < line; ++l)
        row += rowsAt(l);
    return row;
}

qint64 LogPane::lineOfRow(qint64 row) const
{
    const qint64 block = std::upper_bound(m_blockRow.begin(), m_blockRow.end(), row) - m_blockRow.begin() - 1;
    qint64 line = std::max<qint64>(0, block) * kRowBlock;
    qint64 at = m_blockRow[size_t(std::max<qint64>(0, block))];
    const qint64 last = m_store.lineCount() - 1;
    while (line < last && at + rowsAt(line) <= row)
        at += rowsAt(line++);
    return line;
}

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
    const qint64 topLine = lineOfRow(topRow());
    if (columns != m_columns) {
        m_columns = columns;
        m_wrapCache.clear();
        reindexFrom(0);
    }
    updateScrollRange();
    if (following)
        bar->setValue(bar->maximum());
    else
        bar->setValue(int(std::min<qint64>(rowStartOf(topLine), INT_MAX)));
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

qint64 LogPane::rowOf(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, m_store.size());
    const qint64 line = m_store.lineAt(position);
    const qint64 cell = m_store.cellAt(position);
    return rowStartOf(line) + rowOfCell(line, cell);
}

LogPane::Row LogPane::row(qint64 index) const
{
    Row r;
    index = std::clamp<qint64>(index, 0, rowCount() - 1);
    r.line = lineOfRow(index);
    const qint64 k = index - rowStartOf(r.line);
    r.first = -1;
    const qint64 fromCell = rowStartCell(r.line, k);
    const qint64 toCell = k + 1 < rowsOf(r.line) ? rowStartCell(r.line, k + 1) : std::numeric_limits<qint64>::max();
    m_store.visitCells(r.line, fromCell, toCell,
                       [&](quint32 colour, QStringView run, qint64 position, qint64) {
                           if (r.first < 0)
                               r.first = position;
                           r.text.append(run);
                           r.colours.emplace_back(int(run.size()), colour);
                       });
    if (r.first < 0)
        r.first = m_store.positionAtCell(r.line, fromCell);
    r.end = r.first + r.text.size();
    for (QChar &c : r.text)
        c = QChar(drawnAs(c.unicode()));
    return r;
}

void LogPane::layoutRow(const Row &r, QTextLayout &layout) const
{
    layout.setText(r.text);
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    int at = 0;
    for (const auto &[length, colour] : r.colours) {
        QTextLayout::FormatRange range;
        range.start = at;
        range.length = length;
        range.format.setForeground(ColourFromBgr(colour));
        formats.append(range);
        at += length;
    }
    const qint64 from = std::max(selectionStart(), r.first);
    const qint64 to = std::min(selectionEnd(), r.end);
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
    return positionInRow(row(index), point.x());
}

QRect LogPane::characterRect(qint64 position) const
{
    const qint64 index = rowOf(position);
    const Row r = row(index);
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
        const Row r = row(index);
        QTextLayout layout;
        layoutRow(r, layout);
        const QPoint origin = rowOrigin(index);
        layout.draw(&painter, origin);
        const QTextLine line = layout.lineAt(0);
        const qreal textEnd = line.isValid() ? line.cursorToX(int(r.text.size())) : 0;
        // A selected line break shows as one selected cell after the text.
        const bool lastRowOfLine = index == rowStartOf(r.line) + rowsAt(r.line) - 1;
        if (lastRowOfLine && selectionStart() <= r.end && r.end < selectionEnd() && r.line + 1 < m_store.lineCount())
            painter.fillRect(QRectF(origin.x() + textEnd, origin.y(), m_cellWidth, m_rowHeight),
                             palette().brush(group, QPalette::Highlight));
        if (caretShown && m_caret >= r.first && (m_caret < r.end || (m_caret == r.end && lastRowOfLine))) {
            const qreal x = line.isValid() ? line.cursorToX(int(m_caret - r.first)) : 0;
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
    if (m_find->isVisible())
        m_find->place();
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
            || key->matches(QKeySequence::FindNext) || key->matches(QKeySequence::FindPrevious)) {
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

qint64 LogPane::wordStart(qint64 position) const
{
    const qint64 from = std::max<qint64>(0, position - 256);
    const QString before = m_store.text(from, position);
    qsizetype i = before.size();
    while (i > 0 && isWordCharacter(before.at(i - 1)))
        --i;
    return from + i;
}

qint64 LogPane::wordEnd(qint64 position) const
{
    const QString after = m_store.text(position, position + 256);
    qsizetype i = 0;
    while (i < after.size() && isWordCharacter(after.at(i)))
        ++i;
    return position + i;
}

void LogPane::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (event->matches(QKeySequence::Save)) {
        saveLog();
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        m_find->open();
        return;
    }
    if (event->matches(QKeySequence::FindNext)) {
        m_find->findNext();
        return;
    }
    if (event->matches(QKeySequence::FindPrevious)) {
        m_find->findPrevious();
        return;
    }
    struct Move
    {
        QKeySequence::StandardKey move, select;
        int kind;
    };
    enum { Previous, Next, Up, Down, RowStart, RowEnd, Start, End, PageUp, PageDown, WordBack, WordOn };
    static const Move moves[] = {
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Previous},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Next},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Up},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Down},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, RowStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, RowEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Start},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, End},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PageUp},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, PageDown},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, WordBack},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, WordOn},
    };
    for (const Move &m : moves) {
        const bool extend = event->matches(m.select);
        if (!extend && !event->matches(m.move))
            continue;
        const qint64 caret = m_caret;
        const qint64 index = rowOf(caret);
        const Row current = row(index);
        const qint64 column = m_store.cellAt(caret) - rowStartCell(current.line, index - rowStartOf(current.line));
        const auto sameColumnIn = [&](qint64 target) {
            target = std::clamp<qint64>(target, 0, rowCount() - 1);
            const Row r = row(target);
            const qint64 k = target - rowStartOf(r.line);
            const qint64 p = m_store.positionAtCell(r.line, rowStartCell(r.line, k) + column);
            return std::min(p, r.end);
        };
        qint64 to = caret;
        const qint64 page = std::max(1, verticalScrollBar()->pageStep());
        switch (m.kind) {
        case Previous:
            to = caret - 1;
            if (to > 0 && m_store.text(to, to + 1).at(0).isLowSurrogate())
                --to;
            break;
        case Next:
            to = caret + 1;
            if (to < m_store.size() && m_store.text(to, to + 1).at(0).isLowSurrogate())
                ++to;
            break;
        case Up: to = index > 0 ? sameColumnIn(index - 1) : 0; break;
        case Down: to = index + 1 < rowCount() ? sameColumnIn(index + 1) : m_store.size(); break;
        case RowStart: to = current.first; break;
        case RowEnd: to = current.end; break;
        case Start: to = 0; break;
        case End: to = m_store.size(); break;
        case PageUp:
            to = sameColumnIn(index - page);
            verticalScrollBar()->setValue(int(std::max<qint64>(0, topRow() - page)));
            break;
        case PageDown:
            to = sameColumnIn(index + page);
            verticalScrollBar()->setValue(int(std::min<qint64>(topRow() + page, INT_MAX)));
            break;
        case WordBack: {
            qint64 p = caret;
            while (p > 0 && !isWordCharacter(m_store.text(p - 1, p).at(0)))
                --p;
            to = wordStart(p);
            break;
        }
        case WordOn: {
            // To the start of the next word.
            qint64 p = wordEnd(caret);
            while (p < m_store.size() && !isWordCharacter(m_store.text(p, p + 1).at(0)))
                ++p;
            to = p;
            break;
        }
        }
        moveCaret(to, extend);
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
            m_caret = wordStart(at);
        } else {
            m_anchor = m_wordAnchorStart;
            m_caret = std::max(wordEnd(at), m_wordAnchorEnd);
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
    // in any text box here.
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection() && selectionEnd() > selectionStart())
        clipboard->setMimeData(selectionAsMimeData(), QClipboard::Selection);
}

void LogPane::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qint64 at = positionAt(event->position().toPoint());
    m_wordAnchorStart = wordStart(at);
    m_wordAnchorEnd = wordEnd(at);
    if (m_wordAnchorEnd == m_wordAnchorStart && at < m_store.size())
        m_wordAnchorEnd = at + 1; // a lone sign is a word of its own
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
    QAction *find = menu->addAction(QStringLiteral("查找…"), m_find, &LogFindBar::open);
    find->setShortcut(QKeySequence::Find);
    menu->addSeparator();
    QAction *save = menu->addAction(QStringLiteral("保存信息…"), this, &LogPane::saveLog);
    save->setShortcut(QKeySequence::Save);
    for (QAction *action : std::as_const(m_extraActions))
        menu->addAction(action);
    QAction *record = menu->addAction(QStringLiteral("记录到文件…"), this, &LogPane::setRecording);
    record->setCheckable(true);
    record->setChecked(m_recorder->recording());
    if (m_recorder->recording())
        record->setToolTip(m_recorder->path());
    return menu;
}

void LogPane::setRecording(bool on)
{
    if (!on) {
        m_recorder->stop();
        return;
    }
    const QString suggested = SuggestedSavePath(QStringLiteral("-记录.txt"));
    QString chosen;
    const QString path = AskSavePath(this, QStringLiteral("记录到文件"), suggested, QStringLiteral("文本文件 (*.txt)"), &chosen);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_recorder->start(path, &error))
        ShowNotice(this, QStringLiteral("无法记录：") + path + u'\n' + error, QStringLiteral("提示"));
}

void LogPane::addContextAction(QAction *action)
{
    m_extraActions.append(action);
}

void LogPane::saveLog()
{
    const QString text = QStringLiteral("文本文件 (*.txt)");
    const QString page = QStringLiteral("网页文件，保留颜色 (*.html *.htm)");
    QString chosen = text;
    const QString suggested = SuggestedSavePath(QStringLiteral(".txt"));
    const QString path = AskSavePath(this, QStringLiteral("保存信息"), suggested, text + QStringLiteral(";;") + page, &chosen);
    if (path.isEmpty())
        return;
    const bool html = chosen == page || path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)
        || path.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
    QString error;
    const bool saved = html ? LogSave::writeHtml(m_store, window()->windowTitle(), path, &error)
                            : LogSave::writeText(m_store, path, &error);
    if (!saved)
        ShowNotice(this, QStringLiteral("保存失败：") + path + QStringLiteral("\n") + error, QStringLiteral("提示"));
}

void LogPane::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
