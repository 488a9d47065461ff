// The desktop's tray hosts as the session bus and X11 show them: a StatusNotifierWatcher is
// followed through its bus name (no polling); whether an embedding X11 tray runs is asked of
// the function given, when asked. Main thread only.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

#include "ports/tray_hosts.h"

class QDBusServiceWatcher;

namespace qv {

class DbusTrayHosts : public QObject, public TrayHosts {
  public:
    // `embeddingTray` answers whether an X11 system tray runs now; nullptr for never.
    DbusTrayHosts(QDBusConnection bus, std::function<bool()> embeddingTray);

    bool watcherPresent() const override { return present_; }
    bool embeddingTrayPresent() const override { return embeddingTray_ && embeddingTray_(); }
    void onWatcherChanged(std::function<void()> changed) override { changed_ = std::move(changed); }

  private:
    std::function<bool()> embeddingTray_;
    std::function<void()> changed_;
    bool present_ = false;
    QDBusServiceWatcher* watcher_ = nullptr;
};

}  // namespace qv
