// SPDX-License-Identifier: MIT
#include "sendhistory.h"

#include <QKeyEvent>
#include <QLineEdit>

SendHistory::SendHistory(QLineEdit *box) : QObject(box), m_box(box)
{
    box->installEventFilter(this);
}

void SendHistory::record(const QString &text)
{
    m_at = -1;
    m_draft.clear();
    if (text.isEmpty() || (!m_entries.isEmpty() && m_entries.first() == text))
        return;
    m_entries.prepend(text);
    while (m_entries.size() > kLimit)
        m_entries.removeLast();
}

QStringList SendHistory::entries() const
{
    return m_entries;
}

bool SendHistory::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched != m_box || (type != QEvent::KeyPress && type != QEvent::ShortcutOverride))
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    // The keypad flag only says where the arrow is; any real modifier
    // means the key is meant for something else.
    constexpr Qt::KeyboardModifiers chords = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier
                                             | Qt::MetaModifier;
    if ((key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) || (key->modifiers() & chords)
        || m_entries.isEmpty())
        return QObject::eventFilter(watched, event);
    if (type == QEvent::ShortcutOverride) {
        // Claim the key so that no shortcut takes it before the box does.
        key->accept();
        return true;
    }
    if (key->key() == Qt::Key_Up)
        older();
    else
        newer();
    key->accept();
    return true;
}

void SendHistory::older()
{
    if (m_at < 0) {
        m_draft = m_box->text();
        // The box keeps what was just sent: showing it again would look
        // like a key that did nothing, so the first Up shows the one before.
        if (m_draft == m_entries.first() && m_entries.size() > 1)
            m_at = 0;
    } else if (m_at + 1 >= m_entries.size()) {
        return; // the oldest stays
    }
    m_box->setText(m_entries.at(++m_at));
}

void SendHistory::newer()
{
    if (m_at < 0)
        return;
    if (--m_at >= 0) {
        m_box->setText(m_entries.at(m_at));
        return;
    }
    m_box->setText(m_draft); // the caret goes to the end
    m_draft.clear();
}
