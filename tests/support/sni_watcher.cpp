#include "support/sni_watcher.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include "support/qt_wait.h"

namespace qv::test {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenu = QStringLiteral("com.canonical.dbusmenu");

class WatcherAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

  public:
    explicit WatcherAdaptor(SniWatcher* watcher) : QDBusAbstractAdaptor(watcher), w_(watcher) {}
    QStringList items() const { return w_->items; }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        w_->registerItem(service, message);
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

  Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

  private:
    SniWatcher* w_;
};

MenuEntry readEntry(const QDBusArgument& arg) {
    MenuEntry entry;
    arg.beginStructure();
    arg >> entry.id >> entry.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        entry.children << readEntry(qvariant_cast<QDBusArgument>(child.variant()));
    }
    arg.endArray();
    arg.endStructure();
    // Nested values (the shortcut's aas) arrive undecoded: decode the ones the tests read.
    if (entry.properties.contains("shortcut")) {
        QList<QStringList> chords;
        const QDBusArgument shortcut =
            qvariant_cast<QDBusArgument>(entry.properties.value("shortcut"));
        shortcut.beginArray();
        while (!shortcut.atEnd()) {
            QStringList chord;
            shortcut >> chord;
            chords << chord;
        }
        shortcut.endArray();
        entry.properties.insert("shortcut", QVariant::fromValue(chords));
    }
    return entry;
}

}  // namespace

SniWatcher::SniWatcher(QDBusConnection bus) : bus_(std::move(bus)) {
    new WatcherAdaptor(this);
    gone_ =
        new QDBusServiceWatcher(QString(), bus_, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(gone_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& s) {
        items.removeAll(s);
        gone_->removeWatchedService(s);
    });
    claimed_ =
        bus_.registerObject("/StatusNotifierWatcher", this) && bus_.registerService(kWatcher);
}

SniWatcher::~SniWatcher() {
    bus_.unregisterService(kWatcher);
    bus_.unregisterObject("/StatusNotifierWatcher");
}

void SniWatcher::registerItem(const QString& service, const QDBusMessage& message) {
    registrations << Registration{service, message.service()};
    if (!items.contains(service)) items << service;
    gone_->addWatchedService(service);
    emit itemRegistered(service);
}

const MenuEntry* MenuEntry::find(const QString& wanted) const {
    if (label() == wanted) return this;
    for (const MenuEntry& child : children) {
        if (const MenuEntry* found = child.find(wanted)) return found;
    }
    return nullptr;
}

SniItemClient::SniItemClient(QDBusConnection bus, const QString& service)
    : bus_(std::move(bus)), service_(service) {
    const QString path = "/StatusNotifierItem";
    bus_.connect(service_, path, kItem, "XAyatanaNewLabel", this, SLOT(onLabel(QString, QString)));
    bus_.connect(service_, path, kItem, "NewIcon", this, SLOT(onNewIcon()));
    bus_.connect(service_, path, kItem, "NewToolTip", this, SLOT(onNewToolTip()));
    bus_.connect(service_, menuPath(), kMenu, "LayoutUpdated", this,
                 SLOT(onLayoutUpdated(uint, int)));
}

QDBusMessage SniItemClient::call(const QString& path, const QString& interface,
                                 const QString& method, const QVariantList& args) const {
    QDBusMessage m = QDBusMessage::createMethodCall(service_, path, interface, method);
    m.setArguments(args);
    // The item may live in this very process: keep its events flowing while waiting.
    QDBusPendingCall pending = bus_.asyncCall(m, 10000);
    waitFor([&] { return pending.isFinished(); }, 15000);
    return pending.reply();
}

QVariant SniItemClient::property(const QString& name) const {
    const QDBusMessage reply =
        call("/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get", {kItem, name});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
}

QList<Pixmap> SniItemClient::iconPixmap() const {
    QList<Pixmap> out;
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(property("IconPixmap"));
    arg.beginArray();
    while (!arg.atEnd()) {
        Pixmap p;
        arg.beginStructure();
        arg >> p.width >> p.height >> p.bytes;
        arg.endStructure();
        out << p;
    }
    arg.endArray();
    return out;
}

QString SniItemClient::toolTipTitle() const {
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(property("ToolTip"));
    QString icon, title, description;
    arg.beginStructure();
    arg >> icon;
    arg.beginArray();
    while (!arg.atEnd()) {
        int w, h;
        QByteArray bytes;
        arg.beginStructure();
        arg >> w >> h >> bytes;
        arg.endStructure();
    }
    arg.endArray();
    arg >> title >> description;
    arg.endStructure();
    return title;
}

QString SniItemClient::menuPath() const {
    return qvariant_cast<QDBusObjectPath>(property("Menu")).path();
}

MenuEntry SniItemClient::layout(uint* revision) const {
    const QDBusMessage reply = call(menuPath(), kMenu, "GetLayout", {0, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) return {};
    if (revision) *revision = reply.arguments().at(0).toUInt();
    return readEntry(qvariant_cast<QDBusArgument>(reply.arguments().at(1)));
}

QList<QPair<int, QVariantMap>> SniItemClient::groupProperties(const QList<int>& ids,
                                                              const QStringList& names) const {
    const QDBusMessage reply =
        call(menuPath(), kMenu, "GetGroupProperties", {QVariant::fromValue(ids), names});
    QList<QPair<int, QVariantMap>> out;
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    arg.beginArray();
    while (!arg.atEnd()) {
        int id;
        QVariantMap properties;
        arg.beginStructure();
        arg >> id >> properties;
        arg.endStructure();
        out.append({id, properties});
    }
    arg.endArray();
    return out;
}

bool SniItemClient::aboutToShow(int id) const {
    const QDBusMessage reply = call(menuPath(), kMenu, "AboutToShow", {id});
    return reply.arguments().value(0).toBool();
}

QString SniItemClient::click(int id) const {
    const QDBusMessage reply =
        call(menuPath(), kMenu, "Event",
             {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
}

void SniItemClient::onLabel(const QString& label, const QString& guide) {
    labels << label;
    guides << guide;
}

}  // namespace qv::test

#include "sni_watcher.moc"
