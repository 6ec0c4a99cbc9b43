// SPDX-License-Identifier: MIT
#include "logfind.h"

#include "logpane.h"
#include "logstore.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QToolButton>

#include <algorithm>

namespace {
// One UTF-16 unit folded as Qt folds it, ASCII without a table.
inline char16_t fold(char16_t c)
{
    if (c < 0x80)
        return char16_t(c - u'A') < 26 ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}
} // namespace

FoldedMatcher::FoldedMatcher(const QString &needle)
{
    setPattern(needle);
}

void FoldedMatcher::setPattern(const QString &needle)
{
    m_needle = needle;
    m_folded.resize(needle.size());
    m_ours = !needle.isEmpty();
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t c = needle.at(i).unicode();
        // A pair folds as one character, which the unit tables cannot see.
        m_ours = m_ours && !QChar::isSurrogate(c);
        m_folded[i] = QChar(fold(c));
    }
    if (!m_ours)
        return;
    const qsizetype m = m_folded.size();
    std::fill(std::begin(m_skip), std::end(m_skip), m);
    std::fill(std::begin(m_backSkip), std::end(m_backSkip), m);
    // Written nearest last, so a shared byte keeps the smaller shift.
    for (qsizetype i = 0; i + 1 < m; ++i)
        m_skip[m_folded.at(i).unicode() & 0xFF] = m - 1 - i;
    for (qsizetype i = m - 1; i > 0; --i)
        m_backSkip[m_folded.at(i).unicode() & 0xFF] = i;
}

qsizetype FoldedMatcher::indexIn(QStringView text, qsizetype from) const
{
    if (!m_ours)
        return text.indexOf(m_needle, from, Qt::CaseInsensitive);
    const qsizetype m = m_folded.size();
    const char16_t *h = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *f = reinterpret_cast<const char16_t *>(m_folded.constData());
    const char16_t lastNeedle = f[m - 1];
    for (qsizetype at = std::max<qsizetype>(from, 0); at + m <= text.size();) {
        const char16_t last = fold(h[at + m - 1]);
        if (last == lastNeedle) {
            qsizetype i = m - 2;
            while (i >= 0 && fold(h[at + i]) == f[i])
                --i;
            if (i < 0)
                return at;
        }
        at += m_skip[last & 0xFF];
    }
    return -1;
}

qsizetype FoldedMatcher::lastIndexIn(QStringView text, qsizetype from) const
{
    if (!m_ours)
        return text.lastIndexOf(m_needle, from, Qt::CaseInsensitive);
    const qsizetype m = m_folded.size();
    const char16_t *h = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *f = reinterpret_cast<const char16_t *>(m_folded.constData());
    for (qsizetype at = std::min(from, text.size() - m); at >= 0;) {
        const char16_t first = fold(h[at]);
        if (first == f[0]) {
            qsizetype i = 1;
            while (i < m && fold(h[at + i]) == f[i])
                ++i;
            if (i == m)
                return at;
        }
        at -= m_backSkip[first & 0xFF];
    }
    return -1;
}

LogSearch::LogSearch(const LogStore &store, QObject *parent) : QObject(parent), m_store(store)
{
}

void LogSearch::start(const QString &needle, qint64 from, bool backward)
{
    ++m_run;
    m_matcher.setPattern(needle);
    m_size = m_store.size();
    m_origin = std::clamp<qint64>(from, 0, m_size);
    m_pos = m_origin;
    m_backward = backward;
    m_wrapped = false;
    m_running = true;
    const quint64 run = m_run;
    QMetaObject::invokeMethod(this, [this, run] {
        if (run == m_run)
            step();
    }, Qt::QueuedConnection);
}

void LogSearch::cancel()
{
    ++m_run;
    m_running = false;
}

void LogSearch::step()
{
    if (!m_running)
        return;
    const qint64 length = m_matcher.size();
    bool done = false;
    qint64 at = -1;
    if (!m_backward) {
        // Matches that start in [m_pos, end): first from the origin to the
        // log's end, then from its start to the origin.
        const qint64 end = m_wrapped ? std::min(m_origin, m_size) : m_size;
        const qint64 to = std::min(m_pos + kSlice, end);
        const qint64 limit = m_wrapped ? std::min(m_size, m_origin + length - 1) : m_size;
        if (to > m_pos) {
            const QString text = m_store.text(m_pos, std::min(limit, to + length - 1));
            const qsizetype found = m_matcher.indexIn(text);
            if (found >= 0 && m_pos + found < to)
                at = m_pos + found;
        }
        m_pos = to;
        if (at < 0 && m_pos >= end) {
            if (m_wrapped)
                done = true;
            else
                m_wrapped = true, m_pos = 0;
        }
    } else {
        // Matches that start in [floor, m_pos), going down: first below the
        // origin, then from the log's end down to it.
        const qint64 floor = m_wrapped ? m_origin : 0;
        const qint64 from = std::max(floor, m_pos - kSlice);
        if (m_pos > from) {
            const QString text = m_store.text(from, std::min(m_size, m_pos + length - 1));
            const qsizetype found = m_matcher.lastIndexIn(text, m_pos - 1 - from);
            if (found >= 0)
                at = from + found;
        }
        m_pos = from;
        if (at < 0 && m_pos <= floor) {
            if (m_wrapped)
                done = true;
            else
                m_wrapped = true, m_pos = m_size;
        }
    }
    if (at >= 0 || done) {
        m_running = false;
        emit finished(at, at >= 0 ? length : 0, at >= 0 && m_wrapped);
        return;
    }
    const quint64 run = m_run;
    QMetaObject::invokeMethod(this, [this, run] {
        if (run == m_run)
            step();
    }, Qt::QueuedConnection);
}

LogFindBar::LogFindBar(LogPane *pane)
    : QWidget(pane), m_pane(pane), m_field(new QLineEdit(this)), m_status(new QLabel(this)),
      m_search(pane->store(), this)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    auto *label = new QLabel(QStringLiteral("查找："), this);
    label->setBuddy(m_field);
    row->addWidget(label);
    row->addWidget(m_field, 1);
    row->addWidget(m_status);
    m_field->setAccessibleName(QStringLiteral("查找"));
    m_field->setClearButtonEnabled(true);
    // Qt's clear button has an icon only; a screen reader needs its word.
    if (auto *clear = m_field->findChild<QToolButton *>()) {
        clear->setAccessibleName(QStringLiteral("清除"));
        clear->setToolTip(QStringLiteral("清除"));
    }
    m_field->installEventFilter(this);
    connect(m_field, &QLineEdit::textEdited, this, [this] {
        // Typing refines the match in place: search again from its start.
        search(m_pane->selectionStart(), false);
    });
    connect(&m_search, &LogSearch::finished, this, &LogFindBar::found);
    hide();
}

void LogFindBar::place()
{
    const QRect view = m_pane->viewport()->geometry();
    const int height = sizeHint().height();
    setGeometry(view.left(), view.bottom() + 1 - height, view.width(), height);
}

void LogFindBar::open()
{
    place();
    show();
    raise();
    m_pane->coverBottom(height());
    m_field->setFocus();
    m_field->selectAll();
}

void LogFindBar::close()
{
    m_search.cancel();
    hide();
    m_pane->coverBottom(0);
    m_pane->setFocus();
}

void LogFindBar::findNext()
{
    if (!isVisible()) {
        open();
        if (m_field->text().isEmpty())
            return;
    }
    search(m_pane->selectionEnd() > m_pane->selectionStart() ? m_pane->selectionEnd() : m_pane->caretPosition(), false);
}

void LogFindBar::findPrevious()
{
    if (!isVisible()) {
        open();
        if (m_field->text().isEmpty())
            return;
    }
    search(m_pane->selectionStart(), true);
}

QString LogFindBar::status() const
{
    return m_status->text();
}

void LogFindBar::search(qint64 from, bool backward)
{
    const QString needle = m_field->text();
    m_field->setPalette(QPalette());
    if (needle.isEmpty()) {
        m_search.cancel();
        m_status->clear();
        return;
    }
    m_status->setText(QStringLiteral("查找中……"));
    m_search.start(needle, from, backward);
}

void LogFindBar::found(qint64 at, qint64 length, bool wrapped)
{
    if (at < 0) {
        m_status->setText(QStringLiteral("找不到"));
        // The field tells it too, as find fields do.
        QPalette warn = m_field->palette();
        warn.setColor(QPalette::Base, QColor(0xFF, 0xE0, 0xE0));
        m_field->setPalette(warn);
        return;
    }
    m_status->setText(wrapped ? QStringLiteral("已从另一端继续") : QString());
    m_pane->setSelection(at, at + length);
    m_pane->ensureVisible(at + length);
    m_pane->ensureVisible(at);
}

bool LogFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_F3) {
            if (shift)
                findPrevious();
            else
                findNext();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
