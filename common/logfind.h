// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QStringMatcher>
#include <QWidget>

class LogPane;
class LogStore;
class QLabel;
class QLineEdit;

// A search of the log for a text, case-insensitive, run in slices between
// events so that the window stays live however large the log is. It looks
// from a position on (or back), then wraps around to the other end.
class LogSearch : public QObject
{
    Q_OBJECT
public:
    // Characters looked at in one turn of the event loop.
    static constexpr qint64 kSlice = qint64(1) << 22;

    explicit LogSearch(const LogStore &store, QObject *parent = nullptr);

    // Starts a new search (dropping one under way): forward, the first
    // match that starts at or after `from`; backward, the last that starts
    // before it.
    void start(const QString &needle, qint64 from, bool backward);
    void cancel();
    bool running() const { return m_running; }

signals:
    // `at` < 0: no match anywhere. `wrapped`: found past the other end.
    void finished(qint64 at, qint64 length, bool wrapped);

private:
    void step();

    const LogStore &m_store;
    QString m_needle;
    QStringMatcher m_matcher; // prepared once for a search of many slices
    qint64 m_origin = 0;
    qint64 m_pos = 0;
    qint64 m_size = 0;
    bool m_backward = false;
    bool m_wrapped = false;
    bool m_running = false;
    quint64 m_run = 0; // drops the steps of a search that was replaced
};

// The find field, drawn over the bottom edge of the log: typing finds the
// next match and selects it, Enter or F3 the next one, Shift+Enter or
// Shift+F3 the one before, Esc closes it.
class LogFindBar : public QWidget
{
    Q_OBJECT
public:
    explicit LogFindBar(LogPane *pane);

    void open();
    void close();
    void findNext();
    void findPrevious();
    QLineEdit *field() const { return m_field; }
    QString status() const;
    bool searching() const { return m_search.running(); }
    // Places itself along the bottom of the pane's view.
    void place();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(qint64 from, bool backward);
    void found(qint64 at, qint64 length, bool wrapped);

    LogPane *m_pane;
    QLineEdit *m_field;
    QLabel *m_status;
    LogSearch m_search;
};
