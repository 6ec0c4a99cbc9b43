// SPDX-License-Identifier: MIT
#pragma once

#include "logsearch.h"

#include <QWidget>

class LogStore;
class QLabel;
class QLineEdit;

// What the find field needs of the view it searches and lies over.
class FindTarget
{
public:
    virtual ~FindTarget() = default;
    virtual const LogStore &store() const = 0;
    // The selection (empty where its ends meet) and the caret: where a
    // search starts from.
    virtual qint64 selectionStart() const = 0;
    virtual qint64 selectionEnd() const = 0;
    virtual qint64 caretPosition() const = 0;
    // Selects [from, to) and scrolls it into sight, clear of the field.
    virtual void showMatch(qint64 from, qint64 to) = 0;
    // The field's parent, which gets the focus back when it closes.
    virtual QWidget *findHost() = 0;
    // The child of the host whose bottom edge the field lies over.
    virtual QWidget *textArea() = 0;
    // The field covers the bottom `height` pixels of the text area (0: none).
    virtual void coverBottom(int height) = 0;
};

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
