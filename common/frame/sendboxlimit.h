// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

// A send box holds so many characters; typing stops there, as in any box.
// A paste or a drop that does not fit is refused whole, with a notice that
// says how long it was and what the box holds: cut silently, the part that
// stayed would be sent as if it were what the user meant.
class SendBoxLimit : public QObject
{
    Q_OBJECT
public:
    // Watches the box's keys, mouse and drops; owned by the box. `notice`
    // tells the user of a refusal.
    SendBoxLimit(QLineEdit *box, std::function<void(const QString &)> notice);

    // Pastes from the clipboard when it fits; false (and the notice) when it
    // does not.
    bool paste();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether `incoming` fits in place of the selection; if not, says so.
    bool fits(const QString &incoming, const QString &what);

    QLineEdit *m_box;
    std::function<void(const QString &)> m_notice;
};
