// SPDX-License-Identifier: MIT
#pragma once

#include "findtarget.h"
#include "logsearch.h"

#include <QWidget>

class QLabel;
class QLineEdit;

// The find field, drawn over the bottom edge of the log: typing finds the
// next match and selects it, Enter or F3 the next one, Shift+Enter or
// Shift+F3 the one before, Esc closes it.
class LogFindBar : public QWidget
{
    Q_OBJECT
public:
    explicit LogFindBar(FindTarget *target);

    void open();
    void close();
    void findNext();
    void findPrevious();
    QLineEdit *field() const { return m_field; }
    QString status() const;
    bool searching() const { return m_search.running(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Lies along the bottom of the text area.
    void place();
    void search(qint64 from, bool backward);
    void found(qint64 at, qint64 length, bool wrapped);

    FindTarget *m_target;
    QWidget *m_textArea;
    QLineEdit *m_field;
    QLabel *m_status;
    LogSearch m_search;
};
