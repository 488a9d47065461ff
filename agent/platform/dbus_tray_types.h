// The D-Bus structures of the tray protocols (com.canonical.dbusmenu and
// org.kde.StatusNotifierItem), with their marshalling. registerDbusTrayTypes() must run before
// any of them crosses the bus; it may run any number of times.
#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace qv {

// (ia{sv}av): an item with its children, each child wrapped in a variant.
struct DbusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DbusMenuLayoutItem> children;
};

// (ia{sv}): an item's properties, as GetGroupProperties answers and ItemsPropertiesUpdated sends.
struct DbusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DbusMenuItemPropertiesList = QList<DbusMenuItemProperties>;

// (ias): the names of an item's properties that went back to their defaults.
struct DbusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};
using DbusMenuItemPropertyNamesList = QList<DbusMenuItemPropertyNames>;

// (isvu): one event of EventGroup.
struct DbusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DbusMenuEventList = QList<DbusMenuEvent>;

// (iiay): an icon image, ARGB32 in network byte order, row by row.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;
    bool operator==(const SniPixmap&) const = default;
};
using SniPixmapList = QList<SniPixmap>;

// (sa(iiay)ss): a tooltip.
struct SniToolTip {
    QString iconName;
    SniPixmapList pixmaps;
    QString title;
    QString description;
};

void registerDbusTrayTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuEvent& event);
QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& tip);

}  // namespace qv

Q_DECLARE_METATYPE(qv::DbusMenuLayoutItem)
Q_DECLARE_METATYPE(qv::DbusMenuItemProperties)
Q_DECLARE_METATYPE(qv::DbusMenuItemPropertyNames)
Q_DECLARE_METATYPE(qv::DbusMenuEvent)
Q_DECLARE_METATYPE(qv::SniPixmap)
Q_DECLARE_METATYPE(qv::SniToolTip)
