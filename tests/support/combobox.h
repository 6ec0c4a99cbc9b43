// SPDX-License-Identifier: MIT
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

// Picks the item reading `text`, as a user does from the list (none when
// the list has no such item, so that a wrong name shows).
inline void chooseItem(QComboBox *box, const QString &text)
{
    box->setCurrentIndex(box->findText(text));
}

// The list's items, in order.
inline QStringList comboItems(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}
