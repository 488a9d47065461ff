// Desktop notifications (the bubbles the desktop shows and keeps in its message list).
// Main thread only.
#pragma once

#include <QString>
#include <functional>

namespace qv {

struct DesktopNotification {
    QString summary;
    QString body;
    // The caption of the one action the notification offers; empty for none.
    QString action;
};

class DesktopNotifier {
  public:
    virtual ~DesktopNotifier() = default;
    // Shows the notification; returns at once. `onAction` runs on the main thread if the user
    // chooses the action (or the notification itself), at most once; never if the desktop has
    // no notification service or the notification is dismissed.
    virtual void notify(const DesktopNotification& notification,
                        std::function<void()> onAction) = 0;
};

}  // namespace qv
