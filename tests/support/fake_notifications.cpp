#include "support/fake_notifications.h"

#include <QDBusAbstractAdaptor>

namespace qv::test {

namespace {

class NotificationsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    explicit NotificationsAdaptor(FakeNotifications* n) : QDBusAbstractAdaptor(n), n_(n) {
        setAutoRelaySignals(true);
    }

  public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        Q_UNUSED(replaces);
        return n_->notify({0, app, icon, summary, body, actions, hints, timeout});
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& protocol) {
        vendor = "tests";
        version = "1";
        protocol = "1.2";
        return "fake";
    }
    void CloseNotification(uint id) { n_->close(id); }

  Q_SIGNALS:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

  private:
    FakeNotifications* n_;
};

}  // namespace

FakeNotifications::FakeNotifications(QDBusConnection bus) : bus_(std::move(bus)) {
    new NotificationsAdaptor(this);
    claimed_ = bus_.registerObject("/org/freedesktop/Notifications", this) &&
               bus_.registerService("org.freedesktop.Notifications");
}

FakeNotifications::~FakeNotifications() {
    bus_.unregisterService("org.freedesktop.Notifications");
    bus_.unregisterObject("/org/freedesktop/Notifications");
}

uint FakeNotifications::notify(Notice notice) {
    notice.id = next_++;
    notices << notice;
    return notice.id;
}

void FakeNotifications::invoke(uint id, const QString& key) {
    emit ActionInvoked(id, key);
}

void FakeNotifications::close(uint id) {
    emit NotificationClosed(id, 3);
}

}  // namespace qv::test

#include "fake_notifications.moc"
