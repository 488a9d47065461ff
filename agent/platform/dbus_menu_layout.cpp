#include "platform/dbus_menu_layout.h"

#include <QStringList>

namespace qv {

namespace {

constexpr int kIndentSpaces = 4;

// Key names as desktops' menus spell them (the X11 key names).
QString keyName(const QString& key) {
    static const QHash<QString, QString> names = {
        {",", "comma"}, {".", "period"}, {"/", "slash"}, {";", "semicolon"},
        {"-", "minus"}, {"=", "equal"},  {" ", "space"},
    };
    return names.value(key, key);
}

QString label(const MenuRow& row) {
    QString text = QString(kIndentSpaces * row.indent, QLatin1Char(' ')) + row.title;
    if (!row.detail.isEmpty()) text += QStringLiteral(" \u00B7 ") + row.detail;
    return text.replace(QLatin1Char('_'), QStringLiteral("__"));
}

QString kindTag(MenuRow::Kind kind) {
    switch (kind) {
        case MenuRow::Kind::Item:
            return QStringLiteral("i");
        case MenuRow::Kind::Separator:
            return QStringLiteral("s");
        case MenuRow::Kind::Header:
            return QStringLiteral("h");
    }
    return {};
}

}  // namespace

QVariantMap dbusMenuProperties(const MenuRow& row, const QByteArray& icon) {
    QVariantMap p;
    if (row.kind == MenuRow::Kind::Separator) {
        p.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return p;
    }
    p.insert(QStringLiteral("label"), label(row));
    if (!row.enabled || row.kind == MenuRow::Kind::Header) {
        p.insert(QStringLiteral("enabled"), false);
    }
    if (row.checked) {
        p.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        p.insert(QStringLiteral("toggle-state"), *row.checked ? 1 : 0);
    }
    if (!row.key.isEmpty()) {
        const QStringList chord{QStringLiteral("Control"), keyName(row.key)};
        p.insert(QStringLiteral("shortcut"), QVariant::fromValue(QList<QStringList>{chord}));
    }
    if (!row.submenu.empty()) {
        p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    if (!icon.isEmpty()) p.insert(QStringLiteral("icon-data"), icon);
    return p;
}

DbusMenuLayout::DbusMenuLayout(IconData icon) : icon_(std::move(icon)) {
    root_.properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    nodes_.insert(0, &root_);
}

void DbusMenuLayout::rebuild(const MenuRows& rows) {
    ++revision_;
    root_.children.clear();
    nodes_.clear();
    triggers_.clear();
    QHash<QString, int> ids;
    add(root_, QString(), rows, ids);
    ids_ = std::move(ids);
    index(root_);
}

void DbusMenuLayout::add(DbusMenuNode& parent, const QString& parentKey, const MenuRows& rows,
                         QHash<QString, int>& ids) {
    QHash<QString, int> seen;  // how often each row key stood among these siblings so far
    for (const MenuRow& row : rows) {
        const QString base =
            parentKey + QChar(0x1F) + kindTag(row.kind) + row.title + QChar(0x1E) + row.detail;
        const QString key = base + QLatin1Char('#') + QString::number(seen[base]++);
        const int id = ids_.contains(key) ? ids_.value(key) : nextId_++;
        ids.insert(key, id);

        const bool withIcon = icon_ && !row.icon.isEmpty() && row.kind != MenuRow::Kind::Separator;
        DbusMenuNode node{
            id, dbusMenuProperties(row, withIcon ? icon_(row.icon) : QByteArray()), {}};
        if (!row.submenu.empty()) add(node, key, row.submenu, ids);
        if (row.kind == MenuRow::Kind::Item && row.enabled && row.trigger && row.submenu.empty()) {
            triggers_.insert(id, row.trigger);
        }
        parent.children.push_back(std::move(node));
    }
}

void DbusMenuLayout::index(const DbusMenuNode& node) {
    nodes_.insert(node.id, &node);
    for (const DbusMenuNode& child : node.children) index(child);
}

const DbusMenuNode* DbusMenuLayout::find(int id) const {
    return nodes_.value(id, nullptr);
}

std::function<void()> DbusMenuLayout::trigger(int id) const {
    return triggers_.value(id);
}

}  // namespace qv
