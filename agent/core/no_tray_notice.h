// Tells the user once per login when the desktop offers no tray for the agent's icon: the
// agent then runs on without one (call detection, prompts, cards and the backend all keep
// working), and the notification's action opens the web interface instead. Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "ports/clock.h"
#include "ports/desktop_notifier.h"
#include "ports/once_per_login.h"
#include "ports/tray_hosts.h"

namespace qv {

class NoTrayNotice {
  public:
    // Panels start beside the agent at login; this long after the start, a tray that has not
    // appeared is taken to be missing.
    static constexpr double kTraySeconds = 6.0;
    static constexpr char kOnceKey[] = "no-tray-notice";

    // All of these outlive the notice; `openWeb` opens the web interface's home page.
    NoTrayNotice(TrayHosts& hosts, Scheduler& scheduler, DesktopNotifier& notifier,
                 OncePerLogin& once, std::function<void()> openWeb);

    // Starts the wait; call once, at start-up.
    void arm();

    // What the notification says.
    static DesktopNotification notification();

  private:
    void check();

    TrayHosts& hosts_;
    Scheduler& scheduler_;
    DesktopNotifier& notifier_;
    OncePerLogin& once_;
    std::function<void()> openWeb_;
    std::unique_ptr<Timer> wait_;
};

}  // namespace qv
