// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QStringList>

class QLineEdit;

// Up and Down in a send box recall earlier sends of this run, newest first,
// as a shell does; Down past the newest brings back what was being typed.
// Kept in memory only.
//
// Editing a recalled entry: the edit lasts only while the entry is shown.
// Moving with Up or Down discards it (the entry itself never changes), and
// the draft stays what was in the box before the first Up. Only a send
// keeps an edit, by recording it. At either end (the oldest entry, or the
// draft) the key moves nothing and changes nothing, edit and caret alike.
class SendHistory : public QObject
{
    Q_OBJECT
public:
    static constexpr int kLimit = 100;

    // Watches the box's keys; owned by the box.
    explicit SendHistory(QLineEdit *box);

    // A send went out with this text: it becomes the newest entry (unless
    // empty or the same as the newest) and browsing starts over.
    void record(const QString &text);

    // Newest first.
    QStringList entries() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void older();
    void newer();

    QLineEdit *m_box;
    QStringList m_entries; // newest first
    // The entry on show while browsing; -1: not browsing, the box holds
    // the user's own text.
    int m_at = -1;
    QString m_draft;
};
