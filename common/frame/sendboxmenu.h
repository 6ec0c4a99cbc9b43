// SPDX-License-Identifier: MIT
#pragma once

#include "sendcommand.h"

#include <QList>
#include <QObject>

class QAction;
class QActionGroup;
class QLineEdit;
class QMenu;
class SendBoxLimit;

// The send box's context menu: the box's own edit actions (its paste kept
// within the box's limit), then how a send ends: "行尾" for text, "校验"
// for bytes. The window stays as drawn; these live only here (and on the
// command line).
class SendBoxMenu : public QObject
{
    Q_OBJECT
public:
    SendBoxMenu(QLineEdit *box, SendBoxLimit *limit);

    LineEnding lineEnding() const { return m_lineEnding; }
    void setLineEnding(LineEnding ending);
    Checksum checksum() const { return m_checksum; }
    void setChecksum(Checksum checksum);

    QMenu *lineEndingMenu() const { return m_lineEndingMenu; }
    QMenu *checksumMenu() const { return m_checksumMenu; }

    // The menu as the box shows it, for the caller to show and delete.
    QMenu *makeMenu();
    // An action (or a submenu's) of the window's, shown after the choices.
    void addAction(QAction *action) { m_actions.append(action); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void lineEndingChanged(LineEnding ending);
    void checksumChanged(Checksum checksum);

private:
    QLineEdit *m_box;
    SendBoxLimit *m_limit;
    QMenu *m_lineEndingMenu;
    QMenu *m_checksumMenu;
    QList<QAction *> m_actions;
    LineEnding m_lineEnding = LineEnding::None;
    Checksum m_checksum = Checksum::None;
};
