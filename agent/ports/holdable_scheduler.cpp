#include "ports/holdable_scheduler.h"

#include <algorithm>

namespace qv {

struct HoldableScheduler::Entry {
    double interval;  // the period of a repeating timer; 0 for one that fires once
    double due;       // when it fires next
    bool done = false;
    std::function<void()> fn;
    std::unique_ptr<Timer> armed;  // the wrapped scheduler's timer; none while held
};

namespace {

class Handle : public Timer {
  public:
    explicit Handle(std::shared_ptr<HoldableScheduler::Entry> entry) : entry_(std::move(entry)) {}
    ~Handle() override {
        entry_->done = true;
        entry_->armed.reset();
    }

  private:
    std::shared_ptr<HoldableScheduler::Entry> entry_;
};

// Runs an entry's function, holding the entry meanwhile (the function may drop the handle).
// A repeating entry is due again one period from now.
void fire(const std::weak_ptr<HoldableScheduler::Entry>& weak, const Clock& clock) {
    const std::shared_ptr<HoldableScheduler::Entry> entry = weak.lock();
    if (!entry || entry->done) return;
    if (entry->interval > 0)
        entry->due = clock.now() + entry->interval;
    else
        entry->done = true;
    entry->fn();
}

}  // namespace

HoldableScheduler::HoldableScheduler(Scheduler& inner, const Clock& clock)
    : inner_(inner), clock_(clock) {}

std::unique_ptr<Timer> HoldableScheduler::every(double seconds, std::function<void()> fn) {
    return add(seconds, true, std::move(fn));
}

std::unique_ptr<Timer> HoldableScheduler::after(double seconds, std::function<void()> fn) {
    return add(seconds, false, std::move(fn));
}

std::unique_ptr<Timer> HoldableScheduler::add(double seconds, bool repeat,
                                              std::function<void()> fn) {
    auto entry = std::make_shared<Entry>(Entry{
        .interval = repeat ? seconds : 0, .due = clock_.now() + seconds, .fn = std::move(fn)});
    std::erase_if(entries_, [](const std::weak_ptr<Entry>& e) { return e.expired(); });
    entries_.push_back(entry);
    if (!held_) {
        // A fresh repeating timer runs on the wrapped scheduler's own repeat.
        if (repeat)
            entry->armed = inner_.every(
                seconds, [weak = std::weak_ptr(entry), &clock = clock_] { fire(weak, clock); });
        else
            arm(entry);
    }
    return std::make_unique<Handle>(entry);
}

// Arms `entry` for its due time (at once when overdue). A repeating timer fired this way goes
// on with the wrapped scheduler's repeat from that moment.
void HoldableScheduler::arm(const std::shared_ptr<Entry>& entry) {
    const double wait = std::max(0.0, entry->due - clock_.now());
    entry->armed = inner_.after(wait, [this, weak = std::weak_ptr(entry)] {
        if (const std::shared_ptr<Entry> e = weak.lock(); e && !e->done && e->interval > 0) {
            // Replacing the armed timer ends the one running now, which a Timer allows.
            e->armed = inner_.every(e->interval, [weak, &clock = clock_] { fire(weak, clock); });
        }
        fire(weak, clock_);
    });
}

void HoldableScheduler::hold() {
    held_ = true;
    for (const std::weak_ptr<Entry>& weak : entries_)
        if (const auto entry = weak.lock()) entry->armed.reset();
}

void HoldableScheduler::release() {
    if (!held_) return;
    held_ = false;
    for (const std::weak_ptr<Entry>& weak : entries_)
        if (const auto entry = weak.lock(); entry && !entry->done) arm(entry);
}

}  // namespace qv
