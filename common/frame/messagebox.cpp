// SPDX-License-Identifier: MIT
#include "messagebox.h"

#include <QMessageBox>

namespace {
NoticeHook &hook()
{
    static NoticeHook h;
    return h;
}
} // namespace

void showNotice(QWidget *parent, const QString &text, const QString &title)
{
    if (hook()) {
        hook()(text, title);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void setNoticeHook(NoticeHook h)
{
    hook() = std::move(h);
}
