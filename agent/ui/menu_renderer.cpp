#include "ui/menu_renderer.h"

#include <QAction>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <optional>
#include <vector>

#include "ui/literal_text.h"
#include "ui/two_line_menu_item.h"

namespace qv {

namespace {

constexpr int kIndentSpaces = 4;
constexpr char kShortcutsInstalled[] = "qvShortcutsInstalled";

// Qt activates an action's shortcut only in the window the action belongs to, which a popup
// menu is not; this filter gives the open menu its rows' Ctrl keys.
class MenuShortcuts : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        auto* menu = static_cast<QMenu*>(object);
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (QAction* action : menu->actions()) {
            if (action->isEnabled() && !action->shortcut().isEmpty() &&
                action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
                menu->hide();
                action->trigger();
                return true;
            }
        }
        return false;
    }
};

// What a rendering shows of a row. Two renderings that look alike differ at most in what their
// rows do (triggers, submenu builders), which is swapped in without rebuilding the actions.
struct RowLook {
    MenuRow::Kind kind;
    QString title, detail;
    bool big;
    QString key;
    bool enabled;
    std::optional<bool> checked;
    int indent;
    QString icon;
    bool submenu;
    bool operator==(const RowLook&) const = default;
};

RowLook lookOf(const MenuRow& row) {
    return {row.kind,    row.title,   row.detail, row.big,  row.key,
            row.enabled, row.checked, row.indent, row.icon, bool(row.submenu)};
}

// A menu's current rendering: how its rows look, and what each row does when chosen or opened.
class Rendered : public QObject {
  public:
    using QObject::QObject;
    std::vector<RowLook> looks;
    std::vector<std::function<void()>> triggers;
    std::vector<std::function<MenuRows()>> builders;
    MenuRendering how;

    void take(const MenuRows& rows) {
        triggers.clear();
        builders.clear();
        for (const MenuRow& row : rows) {
            triggers.push_back(row.trigger);
            builders.push_back(row.submenu);
        }
    }
};

constexpr char kRendered[] = "qvRendered";

Rendered* renderedOf(QMenu& menu) {
    // Rendered has no meta-object of its own: it is found by name.
    return static_cast<Rendered*>(
        menu.findChild<QObject*>(QLatin1String(kRendered), Qt::FindDirectChildrenOnly));
}

QAction* plainAction(QMenu& menu, const MenuRow& row, const MenuRendering& how) {
    QString text = QString(kIndentSpaces * row.indent, QLatin1Char(' ')) + literalText(row.title);
    if (!row.detail.isEmpty()) text += QStringLiteral(" \u00B7 ") + literalText(row.detail);
    auto* action = new QAction(text, &menu);
    if (!row.key.isEmpty()) {
        action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + row.key.toUpper()));
    }
    if (row.checked) {
        action->setCheckable(true);
        action->setChecked(*row.checked);
    }
    if (how.icon && !row.icon.isEmpty()) action->setIcon(how.icon(row.icon));
    return action;
}

// A submenu whose rows are built each time it is about to be shown, by the builder its row in
// `parent`'s rendering holds then (the connection goes with that rendering). `reuse`, when
// given, is the submenu of an earlier rendering under the same title: its actions stay for as
// long as its rows keep looking the same.
QAction* submenuAction(QMenu& parent, Rendered& rendered, size_t index, const MenuRow& row,
                       QMenu* reuse) {
    QMenu* sub = reuse ? reuse : new QMenu(literalText(row.title), &parent);
    QObject::connect(sub, &QMenu::aboutToShow, &rendered, [&rendered, sub, index] {
        const std::function<MenuRows()> build = rendered.builders.at(index);
        if (build) renderMenu(*sub, build(), rendered.how);
    });
    return sub->menuAction();
}

QAction* rowAction(QMenu& menu, const MenuRow& row, const MenuRendering& how) {
    if (!row.detail.isEmpty() && !how.exported) {
        const QIcon icon = how.icon && !row.icon.isEmpty() ? how.icon(row.icon) : QIcon();
        return new TwoLineMenuItem(row.title, row.detail, row.big, row.indent, icon, &menu);
    }
    return plainAction(menu, row, how);
}

}  // namespace

void renderMenu(QMenu& menu, const MenuRows& rows, const MenuRendering& how) {
    if (!menu.property(kShortcutsInstalled).toBool()) {
        menu.installEventFilter(new MenuShortcuts(&menu));
        menu.setProperty(kShortcutsInstalled, true);
    }
    std::vector<RowLook> looks;
    looks.reserve(rows.size());
    for (const MenuRow& row : rows) looks.push_back(lookOf(row));
    Rendered* rendered = renderedOf(menu);
    if (rendered && rendered->looks == looks) {
        // Nothing visible changed: the actions (and any widgets and icons they made) stay; only
        // what the rows do is taken over.
        rendered->take(rows);
        rendered->how = how;
        return;
    }

    // Submenus of the previous rendering are children of the menu, not actions: one that has a
    // row of the same title again is kept (with what it shows), the others go.
    QHash<QString, QMenu*> earlier;
    for (QMenu* sub : menu.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly))
        earlier.insert(sub->title(), sub);
    menu.clear();
    delete rendered;
    rendered = new Rendered(&menu);
    rendered->setObjectName(QLatin1String(kRendered));
    rendered->looks = std::move(looks);
    rendered->take(rows);
    rendered->how = how;

    for (size_t i = 0; i < rows.size(); ++i) {
        const MenuRow& row = rows[i];
        if (row.kind == MenuRow::Kind::Separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action;
        if (row.submenu) {
            action = submenuAction(menu, *rendered, i, row, earlier.take(literalText(row.title)));
        } else {
            action = rowAction(menu, row, how);
            QObject::connect(action, &QAction::triggered, rendered, [rendered, i] {
                // A copy: what the row does may render this menu again.
                const std::function<void()> trigger = rendered->triggers.at(i);
                if (trigger) trigger();
            });
        }
        action->setEnabled(row.enabled && row.kind == MenuRow::Kind::Item);
        menu.addAction(action);
    }
    qDeleteAll(earlier);
}

}  // namespace qv
