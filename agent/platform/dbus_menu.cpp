#include "platform/dbus_menu.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QLocale>
#include <QTimer>

#include "platform/dbus_tray_types.h"

namespace qv {

namespace {

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) return properties;
    QVariantMap picked;
    for (const QString& name : names) {
        if (properties.contains(name)) picked.insert(name, properties.value(name));
    }
    return picked;
}

// `depth` levels of children below the node (-1: all).
DbusMenuLayoutItem toItem(const DbusMenuNode& node, int depth, const QStringList& names) {
    DbusMenuLayoutItem item{node.id, only(node.properties, names), {}};
    if (depth == 0) return item;
    for (const DbusMenuNode& child : node.children) {
        item.children.append(toItem(child, depth < 0 ? -1 : depth - 1, names));
    }
    return item;
}

const QString kUnknownId = QStringLiteral("com.canonical.dbusmenu.UnknownId");

}  // namespace

class DbusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"com.canonical.dbusmenu\">\n"
                "    <property name=\"Version\" type=\"u\" access=\"read\"/>\n"
                "    <property name=\"TextDirection\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"IconThemePath\" type=\"as\" access=\"read\"/>\n"
                "    <method name=\"GetLayout\">\n"
                "      <arg type=\"i\" name=\"parentId\" direction=\"in\"/>\n"
                "      <arg type=\"i\" name=\"recursionDepth\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>\n"
                "      <arg type=\"u\" name=\"revision\" direction=\"out\"/>\n"
                "      <arg type=\"(ia{sv}av)\" name=\"layout\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"GetGroupProperties\">\n"
                "      <arg type=\"ai\" name=\"ids\" direction=\"in\"/>\n"
                "      <arg type=\"as\" name=\"propertyNames\" direction=\"in\"/>\n"
                "      <arg type=\"a(ia{sv})\" name=\"properties\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"GetProperty\">\n"
                "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
                "      <arg type=\"s\" name=\"name\" direction=\"in\"/>\n"
                "      <arg type=\"v\" name=\"value\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"Event\">\n"
                "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
                "      <arg type=\"s\" name=\"eventId\" direction=\"in\"/>\n"
                "      <arg type=\"v\" name=\"data\" direction=\"in\"/>\n"
                "      <arg type=\"u\" name=\"timestamp\" direction=\"in\"/>\n"
                "    </method>\n"
                "    <method name=\"EventGroup\">\n"
                "      <arg type=\"a(isvu)\" name=\"events\" direction=\"in\"/>\n"
                "      <arg type=\"ai\" name=\"idErrors\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"AboutToShow\">\n"
                "      <arg type=\"i\" name=\"id\" direction=\"in\"/>\n"
                "      <arg type=\"b\" name=\"needUpdate\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <method name=\"AboutToShowGroup\">\n"
                "      <arg type=\"ai\" name=\"ids\" direction=\"in\"/>\n"
                "      <arg type=\"ai\" name=\"updatesNeeded\" direction=\"out\"/>\n"
                "      <arg type=\"ai\" name=\"idErrors\" direction=\"out\"/>\n"
                "    </method>\n"
                "    <signal name=\"ItemsPropertiesUpdated\">\n"
                "      <arg type=\"a(ia{sv})\" name=\"updatedProps\" direction=\"out\"/>\n"
                "      <arg type=\"a(ias)\" name=\"removedProps\" direction=\"out\"/>\n"
                "    </signal>\n"
                "    <signal name=\"LayoutUpdated\">\n"
                "      <arg type=\"u\" name=\"revision\" direction=\"out\"/>\n"
                "      <arg type=\"i\" name=\"parent\" direction=\"out\"/>\n"
                "    </signal>\n"
                "    <signal name=\"ItemActivationRequested\">\n"
                "      <arg type=\"i\" name=\"id\" direction=\"out\"/>\n"
                "      <arg type=\"u\" name=\"timestamp\" direction=\"out\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

  public:
    explicit DbusMenuAdaptor(DbusMenuExporter* menu) : QDBusAbstractAdaptor(menu), menu_(menu) {}

    uint version() const { return 3; }
    QString textDirection() const {
        return QLocale().textDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                            : QStringLiteral("ltr");
    }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // Slots and signals name their D-Bus types in full (namespace, no aliases): Qt finds the
    // marshalling of each parameter by the type's registered name.
  public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   const QDBusMessage& message, qv::DbusMenuLayoutItem& layout) {
        menu_->ensureBuilt();
        const DbusMenuNode* node = menu_->layout_.find(parentId);
        if (!node) {
            unknown(message, parentId);
            return 0;
        }
        layout = toItem(*node, recursionDepth, propertyNames);
        return menu_->layout_.revision();
    }

    QList<qv::DbusMenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                                         const QStringList& propertyNames) {
        menu_->ensureBuilt();
        DbusMenuItemPropertiesList answer;
        for (int id : ids) {
            // Ids that are gone are left out, as the protocol asks.
            if (const DbusMenuNode* node = menu_->layout_.find(id)) {
                answer.append({id, only(node->properties, propertyNames)});
            }
        }
        return answer;
    }

    QDBusVariant GetProperty(int id, const QString& name, const QDBusMessage& message) {
        menu_->ensureBuilt();
        const DbusMenuNode* node = menu_->layout_.find(id);
        if (!node) {
            unknown(message, id);
            return {};
        }
        return QDBusVariant(node->properties.value(name));
    }

    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp,
               const QDBusMessage& message) {
        Q_UNUSED(data);
        Q_UNUSED(timestamp);
        if (!menu_->layout_.find(id)) {
            unknown(message, id);
            return;
        }
        if (eventId == QLatin1String("clicked")) menu_->click(id);
    }

    QList<int> EventGroup(const QList<qv::DbusMenuEvent>& events) {
        QList<int> errors;
        for (const DbusMenuEvent& event : events) {
            if (!menu_->layout_.find(event.id)) {
                errors.append(event.id);
            } else if (event.eventId == QLatin1String("clicked")) {
                menu_->click(event.id);
            }
        }
        return errors;
    }

    bool AboutToShow(int id, const QDBusMessage& message) {
        if (id == 0) {
            menu_->rebuild();
            return true;
        }
        if (!menu_->layout_.find(id)) unknown(message, id);
        return false;  // submenus are part of the layout already
    }

    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
        QList<int> updates;
        for (int id : ids) {
            if (id == 0) {
                if (updates.isEmpty()) menu_->rebuild();
                updates = {0};
            } else if (!menu_->layout_.find(id)) {
                idErrors.append(id);
            }
        }
        return updates;
    }

  Q_SIGNALS:
    void ItemsPropertiesUpdated(const QList<qv::DbusMenuItemProperties>& updatedProps,
                                const QList<qv::DbusMenuItemPropertyNames>& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

  private:
    void unknown(const QDBusMessage& message, int id) {
        message.setDelayedReply(true);
        menu_->bus_.send(
            message.createErrorReply(kUnknownId, QStringLiteral("No menu item %1").arg(id)));
    }

    DbusMenuExporter* menu_;
};

DbusMenuExporter::DbusMenuExporter(QDBusConnection bus, const QString& path,
                                   DbusMenuLayout::IconData icon)
    : bus_(std::move(bus)), path_(path), layout_(std::move(icon)) {
    registerDbusTrayTypes();
    adaptor_ = new DbusMenuAdaptor(this);
    exported_ = bus_.isConnected() && bus_.registerObject(path_, this);
}

DbusMenuExporter::~DbusMenuExporter() {
    if (exported_) bus_.unregisterObject(path_);
}

void DbusMenuExporter::setSource(std::function<MenuRows()> rows) {
    source_ = std::move(rows);
    if (built_) rebuild();
}

void DbusMenuExporter::rebuild() {
    build();
    emit adaptor_->LayoutUpdated(layout_.revision(), 0);
}

void DbusMenuExporter::build() {
    layout_.rebuild(source_ ? source_() : MenuRows{});
    built_ = true;
}

void DbusMenuExporter::ensureBuilt() {
    // The host asking is reading the layout now: no announcement needed.
    if (!built_) build();
}

bool DbusMenuExporter::click(int id) {
    std::function<void()> trigger = layout_.trigger(id);
    if (!trigger) return false;
    // The action may open a dialog with its own event loop, or end the agent: it runs after
    // the host's call has had its answer.
    QTimer::singleShot(0, this, [this, trigger = std::move(trigger)] {
        trigger();
        rebuild();
    });
    return true;
}

}  // namespace qv

#include "dbus_menu.moc"
