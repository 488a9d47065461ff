// Renders the status menu's rows into a QMenu. Main thread only.
#pragma once

#include <QIcon>
#include <QString>
#include <functional>

#include "ports/menu_model.h"

class QMenu;

namespace qv {

struct MenuRendering {
    // The tray host draws the menu itself from what is exported over D-Bus, which carries no
    // widgets: a two-line row then reads as one line, the detail after a middle dot.
    bool exported = false;
    // Resolves a row's icon name; without it rows show no icons.
    std::function<QIcon(const QString& name)> icon;
};

// Replaces the menu's contents with the rows. Choosing a row runs its trigger; Ctrl with a
// row's key chooses it while the menu is open.
void renderMenu(QMenu& menu, const MenuRows& rows, const MenuRendering& how);

}  // namespace qv
