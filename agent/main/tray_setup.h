// The agent's tray as the desktop allows it: a StatusNotifierItem while a watcher runs on the
// session bus, the embedded X11 icon where an X11 tray can take it, and the once-per-login
// notice where neither appears. Owns the services these share; made once in main, on the main
// thread, after the application object, and outlives the App that holds the entry.
#pragma once

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <optional>

#include "ports/clock.h"
#include "core/no_tray_notice.h"
#include "ports/status_item.h"
#include "platform/dbus_tray_hosts.h"
#include "platform/freedesktop_notifier.h"
#include "platform/runtime_once_per_login.h"

namespace qv {

class InstalledApps;
class WindowHints;

class TraySetup {
  public:
    TraySetup(Scheduler& scheduler, WindowHints& hints, InstalledApps& apps);

    // The entry App shows its state in (App's makeStatusItem).
    std::unique_ptr<StatusItem> makeStatusItem();
    // Starts the wait for a tray; `openHome` is what the notice's action runs.
    void armNotice(std::function<void()> openHome);

  private:
    std::unique_ptr<StatusItem> makeNotifierItem();
    std::unique_ptr<StatusItem> makeEmbeddedItem();

    Scheduler& scheduler_;
    WindowHints& hints_;
    InstalledApps& apps_;
    QDBusConnection bus_;
    DbusTrayHosts hosts_;
    FreedesktopNotifier notifier_;
    RuntimeOncePerLogin once_;
    std::function<void()> openHome_;
    NoTrayNotice notice_;
};

// Where StatusNotifierItem hosts find the tray's symbolic icons: an empty path when they are
// installed in a system-wide icon folder (XDG_DATA_DIRS), the icon folder beside the program
// when they are there (a build tree's staged layout, an unusual prefix), nothing when neither.
std::optional<QString> trayIconThemePath();

}  // namespace qv
