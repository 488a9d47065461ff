#include "core/tray_switch.h"

namespace qv {

SwitchingStatusItem::SwitchingStatusItem(TrayHosts& hosts, Scheduler& scheduler, Maker notifier,
                                         Maker embedded)
    : hosts_(hosts),
      scheduler_(scheduler),
      makeNotifier_(std::move(notifier)),
      makeEmbedded_(std::move(embedded)) {
    become(hosts_.watcherPresent() ? Kind::Notifier : Kind::Embedded);
    hosts_.onWatcherChanged([this] { watcherChanged(); });
}

SwitchingStatusItem::~SwitchingStatusItem() {
    hosts_.onWatcherChanged(nullptr);
}

void SwitchingStatusItem::setTitle(const QString& elapsed) {
    title_ = elapsed;
    if (current_) current_->setTitle(elapsed);
}

void SwitchingStatusItem::setMenuSource(std::function<MenuRows()> rows) {
    source_ = std::move(rows);
    if (current_) current_->setMenuSource(source_);
}

void SwitchingStatusItem::watcherChanged() {
    if (hosts_.watcherPresent()) {
        grace_.reset();
        become(Kind::Notifier);
        return;
    }
    // The notifier entry registers again by itself when a watcher comes back in time.
    grace_ = scheduler_.after(kWatcherGraceSeconds, [this] {
        if (!hosts_.watcherPresent()) become(Kind::Embedded);
    });
}

void SwitchingStatusItem::become(Kind kind) {
    // An entry that could not be made (the bus refused its name) is tried again at the next
    // change.
    if (kind == kind_ && current_) return;
    // The old entry goes first, so the desktop never shows two icons at once.
    current_.reset();
    kind_ = kind;
    const Maker& make = kind == Kind::Notifier ? makeNotifier_ : makeEmbedded_;
    if (make) current_ = make();
    if (!current_) return;
    if (source_) current_->setMenuSource(source_);
    current_->setTitle(title_);
}

}  // namespace qv
