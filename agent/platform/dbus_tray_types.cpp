#include "platform/dbus_tray_types.h"

#include <QDBusMetaType>

namespace qv {

void registerDbusTrayTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<DbusMenuLayoutItem>();
        qDBusRegisterMetaType<DbusMenuItemProperties>();
        qDBusRegisterMetaType<DbusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DbusMenuItemPropertyNames>();
        qDBusRegisterMetaType<DbusMenuItemPropertyNamesList>();
        qDBusRegisterMetaType<DbusMenuEvent>();
        qDBusRegisterMetaType<DbusMenuEventList>();
        qDBusRegisterMetaType<QList<QStringList>>();
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<SniPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    (void)once;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuLayoutItem& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DbusMenuLayoutItem& child : item.children) {
        arg << QDBusVariant(QVariant::fromValue(child));
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuLayoutItem& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    item.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant wrapped;
        arg >> wrapped;
        // A child arrives as a demarshalled argument of its own, to be read in turn.
        DbusMenuLayoutItem child;
        qvariant_cast<QDBusArgument>(wrapped.variant()) >> child;
        item.children.append(child);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuItemProperties& item) {
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuItemProperties& item) {
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuItemPropertyNames& item) {
    arg.beginStructure();
    arg << item.id << item.names;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuItemPropertyNames& item) {
    arg.beginStructure();
    arg >> item.id >> item.names;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DbusMenuEvent& event) {
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DbusMenuEvent& event) {
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniPixmap& pixmap) {
    arg.beginStructure();
    arg << pixmap.width << pixmap.height << pixmap.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniPixmap& pixmap) {
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const SniToolTip& tip) {
    arg.beginStructure();
    arg << tip.iconName << tip.pixmaps << tip.title << tip.description;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, SniToolTip& tip) {
    arg.beginStructure();
    arg >> tip.iconName >> tip.pixmaps >> tip.title >> tip.description;
    arg.endStructure();
    return arg;
}

}  // namespace qv
