// SPDX-License-Identifier: MIT
#include "sendboxmenu.h"

#include "sendboxlimit.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>

#include <utility>

namespace {

// A submenu of exclusive choices, `names` in order, the first checked.
template<typename Names, typename Choose>
QMenu *choices(const QString &title, QWidget *parent, const Names &names, Choose choose)
{
    auto *menu = new QMenu(title, parent);
    auto *group = new QActionGroup(menu);
    for (const auto &name : names) {
        QAction *action = menu->addAction(QString::fromUtf8(name.menu));
        action->setCheckable(true);
        action->setChecked(&name == &names[0]);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, menu, [choose, &name] { choose(name); });
    }
    return menu;
}

// Ticks `value` in `menu` (made by choices() from `names`) and makes it
// `current`; false when it was already.
template<typename T, typename Names>
bool choose(QMenu *menu, const Names &names, T value, T &current)
{
    menu->actions().at(choiceIndex(names, value))->setChecked(true);
    return std::exchange(current, value) != value;
}

} // namespace

SendBoxMenu::SendBoxMenu(QLineEdit *box, SendBoxLimit *limit) : QObject(box), m_box(box), m_limit(limit)
{
    m_lineEndingMenu = choices(QStringLiteral("行尾"), box, kLineEndings,
                               [this](const NamedChoice<LineEnding> &name) { setLineEnding(name.value); });
    m_checksumMenu = choices(QStringLiteral("校验"), box, kChecksums,
                             [this](const NamedChoice<Checksum> &name) { setChecksum(name.value); });
    box->installEventFilter(this);
}

bool SendBoxMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box || event->type() != QEvent::ContextMenu)
        return false;
    // As the box shows its own menu, with ours added.
    QMenu *menu = makeMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(static_cast<QContextMenuEvent *>(event)->globalPos());
    return true;
}

void SendBoxMenu::setLineEnding(LineEnding ending)
{
    if (choose(m_lineEndingMenu, kLineEndings, ending, m_lineEnding))
        emit lineEndingChanged(ending);
}

void SendBoxMenu::setChecksum(Checksum checksum)
{
    if (choose(m_checksumMenu, kChecksums, checksum, m_checksum))
        emit checksumChanged(checksum);
}

QMenu *SendBoxMenu::makeMenu()
{
    QMenu *menu = m_box->createStandardContextMenu();
    // The box's own paste would cut what does not fit. (Qt names the
    // action in later versions; before, it is the one connected to paste.)
    for (QAction *action : menu->actions()) {
        const bool paste = action->objectName() == QLatin1String("edit-paste")
                               ? QObject::disconnect(action, &QAction::triggered, m_box, nullptr)
                               : QObject::disconnect(action, SIGNAL(triggered()), m_box, SLOT(paste()));
        if (paste) {
            action->setObjectName(QStringLiteral("edit-paste"));
            connect(action, &QAction::triggered, m_limit, &SendBoxLimit::paste);
        }
    }
    menu->addSeparator();
    menu->addMenu(m_lineEndingMenu);
    menu->addMenu(m_checksumMenu);
    // (An action of the window's that is hidden now is left out.)
    QList<QAction *> shown;
    for (QAction *action : m_actions)
        if (action->isVisible())
            shown.append(action);
    if (!shown.isEmpty()) {
        menu->addSeparator();
        menu->addActions(shown);
    }
    return menu;
}
