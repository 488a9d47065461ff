#include "ui/menu_renderer.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>

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

QAction* rowAction(QMenu& menu, const MenuRow& row, const MenuRendering& how) {
    if (!row.submenu.empty()) {
        auto* sub = new QMenu(literalText(row.title), &menu);
        renderMenu(*sub, row.submenu, how);
        return sub->menuAction();
    }
    if (!row.detail.isEmpty() && !how.exported) {
        const QIcon icon = how.icon && !row.icon.isEmpty() ? how.icon(row.icon) : QIcon();
        return new TwoLineMenuItem(row.title, row.detail, row.big, row.indent, icon, &menu);
    }
    return plainAction(menu, row, how);
}

}  // namespace

void renderMenu(QMenu& menu, const MenuRows& rows, const MenuRendering& how) {
    menu.clear();
    // Submenus of the previous rendering are children of the menu, not actions: delete them.
    qDeleteAll(menu.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly));
    if (!menu.property(kShortcutsInstalled).toBool()) {
        menu.installEventFilter(new MenuShortcuts(&menu));
        menu.setProperty(kShortcutsInstalled, true);
    }
    for (const MenuRow& row : rows) {
        if (row.kind == MenuRow::Kind::Separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = rowAction(menu, row, how);
        action->setEnabled(row.enabled && row.kind == MenuRow::Kind::Item);
        if (row.trigger && row.submenu.empty()) {
            QObject::connect(action, &QAction::triggered, &menu,
                             [trigger = row.trigger] { trigger(); });
        }
        menu.addAction(action);
    }
}

}  // namespace qv
