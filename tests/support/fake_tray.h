// Fakes of the tray's surroundings: the desktop's tray hosts, desktop notifications and the
// once-per-login store. Each records what the logic asked of it; the test changes the world.
#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "ports/desktop_notifier.h"
#include "ports/once_per_login.h"
#include "ports/tray_hosts.h"

namespace qv::test {

class FakeTrayHosts : public TrayHosts {
  public:
    bool watcherPresent() const override { return watcher; }
    bool embeddingTrayPresent() const override { return embedding; }
    void onWatcherChanged(std::function<void()> changed) override { changed_ = std::move(changed); }
    // A watcher starts or goes away, as the bus reports it.
    void setWatcher(bool present) {
        watcher = present;
        if (changed_) changed_();
    }
    bool listening() const { return bool(changed_); }

    bool watcher = false;
    bool embedding = false;

  private:
    std::function<void()> changed_;
};

class FakeNotifier : public DesktopNotifier {
  public:
    struct Sent {
        DesktopNotification notification;
        std::function<void()> onAction;
    };
    void notify(const DesktopNotification& n, std::function<void()> onAction) override {
        sent.push_back({n, std::move(onAction)});
    }
    std::vector<Sent> sent;
};

// One store stands for one login: a second agent given the same store is a restart within it.
class FakeOncePerLogin : public OncePerLogin {
  public:
    bool done(const QString& what) const override { return marks.contains(what); }
    void markDone(const QString& what) override { marks.insert(what); }
    QSet<QString> marks;
};

}  // namespace qv::test
