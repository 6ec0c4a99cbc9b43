// SPDX-License-Identifier: MIT
#pragma once

#include <QComboBox>
#include <QString>

// Picks the item reading `text`, as a user does from the list (none when
// the list has no such item, so that a wrong name shows).
inline void chooseItem(QComboBox *box, const QString &text)
{
    box->setCurrentIndex(box->findText(text));
}
