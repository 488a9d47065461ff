// The status menu as plain rows, built from App's state each time the menu is about to open
// and rendered by the tray. Values only: no toolkit types, so the rows can be compared in tests.
#pragma once

#include <QJsonValue>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace qv {

struct MenuRow {
    enum class Kind {
        Item,       // a choosable row (disabled when `enabled` is false)
        Separator,  // a dividing line; every other field is unused
        Header,     // a disabled caption of the section below it
    };
    Kind kind = Kind::Item;
    QString title;     // shown as it stands (no mnemonics)
    QString detail;    // optional second line in the secondary text colour (a two-line item)
    bool big = false;  // the first line of a two-line item one size larger
    // A single lower-case character, used with Ctrl while the menu is open; empty for none.
    QString key;
    bool enabled = true;
    std::optional<bool> checked;    // set: the row shows a check mark when true
    int indent = 0;                 // indentation level
    QString icon;                   // the name of an image the renderer resolves; empty for none
    QJsonValue payload;             // the value the row stands for (for example a calendar entry)
    std::vector<MenuRow> submenu;   // non-empty: the row opens this submenu
    std::function<void()> trigger;  // runs on the main thread when the row is chosen

    static MenuRow separator() { return MenuRow{.kind = Kind::Separator}; }
    static MenuRow header(const QString& title) {
        return MenuRow{.kind = Kind::Header, .title = title, .enabled = false};
    }
};

using MenuRows = std::vector<MenuRow>;

}  // namespace qv
