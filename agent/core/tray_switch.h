// The tray entry that follows the desktop's tray hosts: a StatusNotifierItem while a watcher
// runs, the X11 embedded icon otherwise, switching as watchers come and go. It keeps the title
// and the menu source and hands them to each entry it makes. Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "ports/clock.h"
#include "ports/status_item.h"
#include "ports/tray_hosts.h"

namespace qv {

class SwitchingStatusItem : public StatusItem {
  public:
    enum class Kind { None, Notifier, Embedded };
    // A maker may return nullptr where its kind cannot show (no X11, no session bus).
    using Maker = std::function<std::unique_ptr<StatusItem>()>;

    // A panel that restarts drops its watcher for a moment: the notifier entry outlives a
    // watcher's absence by this long before the embedded icon replaces it.
    static constexpr double kWatcherGraceSeconds = 3.0;

    // `hosts` and `scheduler` outlive the item.
    SwitchingStatusItem(TrayHosts& hosts, Scheduler& scheduler, Maker notifier, Maker embedded);
    ~SwitchingStatusItem() override;
    SwitchingStatusItem(const SwitchingStatusItem&) = delete;
    SwitchingStatusItem& operator=(const SwitchingStatusItem&) = delete;

    void setTitle(const QString& elapsed) override;
    void setMenuSource(std::function<MenuRows()> rows) override;

    // The kind of entry shown now (None when its maker gave nothing).
    Kind kind() const { return current_ ? kind_ : Kind::None; }

  private:
    void watcherChanged();
    void become(Kind kind);

    TrayHosts& hosts_;
    Scheduler& scheduler_;
    Maker makeNotifier_, makeEmbedded_;
    std::unique_ptr<StatusItem> current_;
    Kind kind_ = Kind::None;
    QString title_;
    std::function<MenuRows()> source_;
    // The grace period running while no watcher owns the name; a later change replaces it.
    std::unique_ptr<Timer> grace_;
};

}  // namespace qv
