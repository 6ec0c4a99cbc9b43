// SPDX-License-Identifier: MIT
#pragma once

#include "frmsockbay.h"
#include "lamp.h"

#include <QLineEdit>
#include <QPushButton>

// The window's state as the table of tool states shows it: which buttons
// and address boxes are on, which lamps are lit. One text, so that a
// mismatch shows every column at once.
inline QString windowRow(const FrmSockbay *w)
{
    auto on = [](const QWidget *b) { return b->isEnabled() ? QStringLiteral("on") : QStringLiteral("off"); };
    auto lamp = [](const Lamp *l) {
        return l->BackColor() == kRed ? QStringLiteral("red")
               : l->BackColor() == kBlack ? QStringLiteral("black")
                                          : QString::number(l->BackColor(), 16);
    };
    const int boxes = int(w->TxtLPort->isEnabled()) + int(w->TxtRPort->isEnabled()) + int(w->TxtRIP->isEnabled());
    return QStringLiteral("Cnn:%1 Lstn:%2 Stop:%3 Send:%4 Close:%5 Boxes:%6 ShpCnn:%7 ShpLstn:%8")
        .arg(on(w->CmdCnn), on(w->CmdLstn), on(w->CmdStop), on(w->CmdSend), on(w->CmdClose),
             boxes == 3 ? QStringLiteral("on") : boxes == 0 ? QStringLiteral("off") : QStringLiteral("mixed"),
             lamp(w->ShpCnn), lamp(w->ShpLstn));
}

// The table of tool states, one text a row; the window's own table is
// checked against it.
namespace rows {
const QString idle = QStringLiteral("Cnn:on Lstn:on Stop:off Send:off Close:off Boxes:on ShpCnn:black ShpLstn:black");
const QString connecting = QStringLiteral("Cnn:off Lstn:off Stop:off Send:off Close:off Boxes:off ShpCnn:black ShpLstn:black");
const QString connected = QStringLiteral("Cnn:off Lstn:off Stop:off Send:on Close:on Boxes:off ShpCnn:red ShpLstn:black");
const QString listening = QStringLiteral("Cnn:off Lstn:off Stop:on Send:off Close:off Boxes:off ShpCnn:black ShpLstn:red");
const QString serving = QStringLiteral("Cnn:off Lstn:off Stop:off Send:on Close:on Boxes:off ShpCnn:red ShpLstn:red");
// Several clients at once: 停止 ends them all, 挂断 has no one connection.
const QString servingMany = QStringLiteral("Cnn:off Lstn:off Stop:on Send:on Close:off Boxes:off ShpCnn:red ShpLstn:red");
} // namespace rows
