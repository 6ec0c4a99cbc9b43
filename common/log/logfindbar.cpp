// SPDX-License-Identifier: MIT
#include "logfindbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

LogFindBar::LogFindBar(FindTarget *target)
    : QWidget(target->findHost()), m_target(target), m_textArea(target->textArea()), m_field(new QLineEdit(this)),
      m_status(new QLabel(this)), m_search(target->store(), this)
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
        search(m_target->selectionStart(), false);
    });
    connect(&m_search, &LogSearch::finished, this, &LogFindBar::found);
    // The text area is laid out anew when the host is resized.
    m_textArea->installEventFilter(this);
    hide();
}

void LogFindBar::place()
{
    const QRect view = m_textArea->geometry();
    const int height = sizeHint().height();
    setGeometry(view.left(), view.bottom() + 1 - height, view.width(), height);
}

void LogFindBar::open()
{
    place();
    show();
    raise();
    m_target->coverBottom(height());
    m_field->setFocus();
    m_field->selectAll();
}

void LogFindBar::close()
{
    m_search.cancel();
    hide();
    m_target->coverBottom(0);
    m_target->findHost()->setFocus();
}

void LogFindBar::findNext()
{
    if (!isVisible()) {
        open();
        if (m_field->text().isEmpty())
            return;
    }
    search(m_target->selectionEnd() > m_target->selectionStart() ? m_target->selectionEnd() : m_target->caretPosition(), false);
}

void LogFindBar::findPrevious()
{
    if (!isVisible()) {
        open();
        if (m_field->text().isEmpty())
            return;
    }
    search(m_target->selectionStart(), true);
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
    m_target->showMatch(at, at + length);
}

bool LogFindBar::eventFilter(QObject *watched, QEvent *event)
{
    // (Not through the target: its events come while it is destroyed too.)
    if (watched == m_textArea && event->type() == QEvent::Resize && isVisible())
        place();
    // Its keys before any shortcut of the window (F3 may send a quick
    // send, Esc stop a repeat, elsewhere).
    if (watched == m_field && event->type() == QEvent::ShortcutOverride) {
        const int k = static_cast<QKeyEvent *>(event)->key();
        if (k == Qt::Key_Escape || k == Qt::Key_F3) {
            event->accept();
            return true;
        }
    }
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
