// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

class QWidget;

// The tools' one dialog: a modal notice with an information icon and an OK
// button. Tests install a hook that answers it instead of letting it block.
void showNotice(QWidget *parent, const QString &text, const QString &title);

using NoticeHook = std::function<void(const QString &text, const QString &title)>;
void setNoticeHook(NoticeHook hook);
