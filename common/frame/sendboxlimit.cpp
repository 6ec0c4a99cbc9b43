// SPDX-License-Identifier: MIT
#include "sendboxlimit.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

SendBoxLimit::SendBoxLimit(QLineEdit *box, std::function<void(const QString &)> notice)
    : QObject(box), m_box(box), m_notice(std::move(notice))
{
    box->installEventFilter(this);
}

bool SendBoxLimit::fits(const QString &incoming, const QString &what)
{
    const qsizetype kept = m_box->text().size() - m_box->selectedText().size();
    if (kept + incoming.size() <= m_box->maxLength())
        return true;
    m_notice(QStringLiteral("%1的内容有%2个字符，发送框最多容纳%3个字符（框中另有%4个）：未%1，什么也没有发送。")
                 .arg(what)
                 .arg(incoming.size())
                 .arg(m_box->maxLength())
                 .arg(kept));
    return false;
}

bool SendBoxLimit::paste()
{
    if (!fits(QGuiApplication::clipboard()->text(), QStringLiteral("粘贴")))
        return false;
    m_box->paste();
    return true;
}

bool SendBoxLimit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box || m_box->isReadOnly())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
            paste();
            return true;
        }
        break;
    case QEvent::MouseButtonRelease: {
        // Where the system has a selection, a middle click pastes it.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
            const QString selection = QGuiApplication::clipboard()->text(QClipboard::Selection);
            if (!fits(selection, QStringLiteral("粘贴")))
                return true;
        }
        break;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        // Moved within the box, the text only changes place.
        if (drop->source() != m_box && drop->mimeData()->hasText()
            && !fits(drop->mimeData()->text(), QStringLiteral("拖入"))) {
            drop->ignore();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}
