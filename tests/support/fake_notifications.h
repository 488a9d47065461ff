// A desktop notification service for tests (org.freedesktop.Notifications) that records what
// it is asked to show and lets the test choose an action or close a notification. Main thread.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace qv::test {

class FakeNotifications : public QObject {
    Q_OBJECT
  public:
    struct Notice {
        uint id = 0;
        QString app, icon, summary, body;
        QStringList actions;  // key, caption, key, caption, ...
        QVariantMap hints;
        int timeout = 0;
    };

    explicit FakeNotifications(QDBusConnection bus);
    ~FakeNotifications() override;
    bool claimed() const { return claimed_; }

    QList<Notice> notices;

    // As the desktop does when the user chooses the action `key` of notification `id`.
    void invoke(uint id, const QString& key);
    void close(uint id);

    // Called by the adaptor.
    uint notify(Notice notice);

  signals:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

  private:
    QDBusConnection bus_;
    bool claimed_ = false;
    uint next_ = 1;
};

}  // namespace qv::test
