// Which tray hosts the desktop offers: a StatusNotifierWatcher on the session bus (the panels
// of GNOME with its AppIndicator extension, KDE, Xfce, MATE, Budgie, ...) or a system tray that
// embeds X11 icons. Main thread only.
#pragma once

#include <functional>

namespace qv {

class TrayHosts {
  public:
    virtual ~TrayHosts() = default;
    // Whether a StatusNotifierWatcher owns its bus name now.
    virtual bool watcherPresent() const = 0;
    // Whether an X11 system tray that embeds icons is running now.
    virtual bool embeddingTrayPresent() const = 0;
    // `changed` runs on the main thread each time watcherPresent() changes, including when
    // a watcher is replaced by another (a restarted panel): then it runs twice. A new callback
    // replaces the previous one; nullptr removes it.
    virtual void onWatcherChanged(std::function<void()> changed) = 0;
};

}  // namespace qv
