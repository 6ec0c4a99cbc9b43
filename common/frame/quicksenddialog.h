// SPDX-License-Identifier: MIT
#pragma once

#include "quicksends.h"

#include <QDialog>

class QTableWidget;

// The twelve quick sends in a table, one row a key: name, content, bytes or
// text, line ending, checksum, repeat period and count; with export and
// import of the set as a file. A row that is not right (bytes that are not
// hexadecimal, a period below the least) is named in a notice and the set
// is kept open.
class QuickSendDialog : public QDialog
{
    Q_OBJECT
public:
    QuickSendDialog(const QuickSendSet &set, QWidget *parent);

    // The set as the table shows it.
    QuickSendSet set() const;
    void fill(const QuickSendSet &set);

    void accept() override;
    void exportSet();
    void importSet();

    QTableWidget *Table;

    enum Column { Name, Content, Bytes, Ending, Check, Period, Count, Columns };
};
