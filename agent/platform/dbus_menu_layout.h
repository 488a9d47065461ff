// The status menu's rows as a com.canonical.dbusmenu layout: a tree of numbered items with
// their properties. Values only, no bus; the exporter (dbus_menu.h) serves it. Main thread.
//
// Ids are stable: a row keeps its id across rebuilds as long as a row of the same kind, title
// and detail stands at the same place among its siblings (counting equal ones in order), so a
// host that clicks an id from an older layout reaches the same row, and a row that is gone
// (and every id never handed out) reaches nothing. Ids are never reused for another row.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <vector>

#include "ports/menu_model.h"

namespace qv {

struct DbusMenuNode {
    int id = 0;
    QVariantMap properties;
    std::vector<DbusMenuNode> children;
};

// A row's dbusmenu properties: "type" "separator"; "label" (underscores doubled, as a single
// one marks a mnemonic; a second line after a middle dot; indentation as leading spaces);
// "enabled" false for disabled rows and headers; "toggle-type" "checkmark" with
// "toggle-state" 0 or 1 for rows with a check mark; "shortcut" as [["Control", key]];
// "children-display" "submenu" for rows with a submenu; "icon-data" with `icon` (PNG bytes)
// when not empty. Properties at their default value are left out, as the protocol allows.
QVariantMap dbusMenuProperties(const MenuRow& row, const QByteArray& icon = {});

class DbusMenuLayout {
  public:
    // Turns a row's icon name into PNG bytes (empty for none); without it rows carry no icon.
    using IconData = std::function<QByteArray(const QString& name)>;
    explicit DbusMenuLayout(IconData icon = nullptr);

    // Replaces the layout with these rows and counts a new revision.
    void rebuild(const MenuRows& rows);

    // Starts at 0 (an empty root) and grows by one with every rebuild.
    unsigned revision() const { return revision_; }
    // Id 0, with the rows as its children.
    const DbusMenuNode& root() const { return root_; }
    // The item with this id in the current layout, or nullptr.
    const DbusMenuNode* find(int id) const;
    // What choosing the item runs: empty for unknown ids, separators, headers, disabled rows
    // and rows without an action.
    std::function<void()> trigger(int id) const;

  private:
    void add(DbusMenuNode& parent, const QString& parentKey, const MenuRows& rows,
             QHash<QString, int>& ids);
    void index(const DbusMenuNode& node);

    IconData icon_;
    unsigned revision_ = 0;
    int nextId_ = 1;
    DbusMenuNode root_;
    QHash<QString, int> ids_;  // row key -> id, for the rows of the current layout
    QHash<int, const DbusMenuNode*> nodes_;
    QHash<int, std::function<void()>> triggers_;
};

}  // namespace qv
