// Desktop notifications through org.freedesktop.Notifications on the session bus. The
// notification names the agent's desktop entry, carries its icon, and offers its action both
// as a button and as the click on the notification itself. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QImage>
#include <QObject>

#include "ports/desktop_notifier.h"

namespace qv {

class FreedesktopNotifier : public QObject, public DesktopNotifier {
    Q_OBJECT
  public:
    // `desktopEntry` is the agent's desktop-file id without ".desktop"; `icon` may be null.
    FreedesktopNotifier(QDBusConnection bus, QString desktopEntry, QImage icon = {});

    void notify(const DesktopNotification& notification, std::function<void()> onAction) override;

  private slots:
    void actionInvoked(uint id, const QString& action);
    void closed(uint id, uint reason);

  private:
    QDBusConnection bus_;
    QString desktopEntry_;
    QImage icon_;
    QHash<uint, std::function<void()>> actions_;  // by notification id, until used or closed
};

}  // namespace qv
