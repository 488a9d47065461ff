#include "platform/dbus_tray_hosts.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include "platform/sni_status_item.h"

namespace qv {

DbusTrayHosts::DbusTrayHosts(QDBusConnection bus, std::function<bool()> embeddingTray)
    : embeddingTray_(std::move(embeddingTray)) {
    if (!bus.isConnected()) return;
    const QString name = QString::fromLatin1(SniStatusItem::kWatcher);
    watcher_ = new QDBusServiceWatcher(name, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                present_ = !owner.isEmpty();
                if (changed_) changed_();
            });
    present_ = bus.interface()->isServiceRegistered(name);
}

}  // namespace qv
