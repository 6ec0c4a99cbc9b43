// SPDX-License-Identifier: MIT
#include "logpaneaccessible.h"

#include "logcolours.h"
#include "logpane.h"

#include <QAccessibleWidget>
#include <QColor>
#include <QScrollBar>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <climits>

namespace {

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, 0, INT_MAX));
}

// How much text around an offset a word or sentence is looked for in: a
// screen reader asks for one at a time, and the log may be far larger.
constexpr qint64 kContext = 4096;

// The log as a screen reader sees it: a read-only text whose characters,
// selection, caret and colours it can read through the text interface.
class LogPaneAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LogPaneAccessible(LogPane *pane) : QAccessibleWidget(pane, QAccessible::EditableText) {}

    LogPane *pane() const { return static_cast<LogPane *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        // Not the whole log as its value: it may run to gigabytes. The text
        // interface reads it piece by piece.
        if (t == QAccessible::Value)
            return QString();
        return QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface
    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        if (index == 0 && selectionCount() == 1) {
            *start = clampInt(pane()->selectionStart());
            *end = clampInt(pane()->selectionEnd());
        }
    }
    int selectionCount() const override { return pane()->selectionEnd() > pane()->selectionStart() ? 1 : 0; }
    void addSelection(int start, int end) override { pane()->setSelection(start, end); }
    void removeSelection(int index) override
    {
        if (index == 0)
            pane()->setSelection(pane()->caretPosition(), pane()->caretPosition());
    }
    void setSelection(int index, int start, int end) override
    {
        if (index == 0)
            pane()->setSelection(start, end);
    }
    int cursorPosition() const override { return clampInt(pane()->caretPosition()); }
    void setCursorPosition(int position) override { pane()->setSelection(position, position); }
    QString text(int start, int end) const override { return pane()->textBetween(start, end); }
    int characterCount() const override { return clampInt(pane()->store().size()); }

    QRect characterRect(int offset) const override
    {
        const QRect r = pane()->characterRect(offset);
        return QRect(pane()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return clampInt(pane()->positionAt(pane()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int start, int end) override
    {
        pane()->ensureVisible(end);
        pane()->ensureVisible(start);
    }
    QString attributes(int offset, int *start, int *end) const override
    {
        qint64 from = offset, to = offset;
        const quint32 colour = pane()->store().colourAt(offset, &from, &to);
        *start = clampInt(from);
        *end = clampInt(to);
        const QColor c = QColor::fromRgb(rgbFromBgr(colour));
        return QStringLiteral("color:rgb(%1,%2,%3);").arg(c.red()).arg(c.green()).arg(c.blue());
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        return around(offset, boundary, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        int s = 0, e = 0;
        around(offset, boundary, &s, &e);
        if (s <= 0) {
            *start = *end = -1;
            return QString();
        }
        return around(s - 1, boundary, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const override
    {
        int s = 0, e = 0;
        around(offset, boundary, &s, &e);
        if (e >= characterCount()) {
            *start = *end = -1;
            return QString();
        }
        return around(e, boundary, start, end);
    }

private:
    // The character, word, sentence, line or paragraph around `offset`,
    // found without reading the log beyond what it spans.
    QString around(int offset, QAccessible::TextBoundaryType boundary, int *start, int *end) const
    {
        const LogStore &store = pane()->store();
        const qint64 size = store.size();
        const qint64 at = std::clamp<qint64>(offset, 0, size);
        qint64 from = at, to = at;
        switch (boundary) {
        case QAccessible::CharBoundary:
            to = std::min(size, at + 1);
            if (to < size && store.text(to - 1, to + 1).size() == 2 && store.text(to - 1, to).at(0).isHighSurrogate())
                ++to;
            break;
        case QAccessible::LineBoundary:
        case QAccessible::ParagraphBoundary: {
            const qint64 line = store.lineAt(at);
            from = store.lineStart(line);
            to = from + store.lineLength(line) + (line + 1 < store.lineCount() ? 1 : 0);
            break;
        }
        case QAccessible::NoBoundary:
            from = 0;
            to = size;
            break;
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary: {
            const qint64 windowStart = std::max<qint64>(0, at - kContext);
            const QString window = store.text(windowStart, std::min(size, at + kContext));
            QTextBoundaryFinder finder(boundary == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                             : QTextBoundaryFinder::Sentence,
                                       window);
            finder.setPosition(int(at - windowStart));
            if (!finder.isAtBoundary())
                finder.toPreviousBoundary();
            const qint64 a = finder.position() < 0 ? 0 : finder.position();
            finder.setPosition(int(at - windowStart));
            const qint64 b = finder.toNextBoundary() < 0 ? window.size() : finder.position();
            from = windowStart + a;
            to = windowStart + b;
            break;
        }
        }
        *start = clampInt(from);
        *end = clampInt(to);
        return store.text(from, to);
    }
};

QAccessibleInterface *logPaneFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("LogPane") && object && object->isWidgetType())
        return new LogPaneAccessible(static_cast<LogPane *>(object));
    return nullptr;
}

} // namespace

void installLogPaneAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logPaneFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
