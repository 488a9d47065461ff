// Timers an owner can hold for a while, as the platform's own timers are held behind a modal
// question: a held timer does not fire; one that fell due meanwhile fires once as soon as it is
// released (never once per missed period), and a repeating one keeps its period from there.
//
// A subsystem makes its timers through its own HoldableScheduler and holds them all at once.
// The handles it hands out end their timers when they go, as the wrapped scheduler's do; they
// may outlive neither this object nor the wrapped scheduler. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ports/clock.h"

namespace qv {

class HoldableScheduler : public Scheduler {
  public:
    HoldableScheduler(Scheduler& inner, const Clock& clock);
    HoldableScheduler(const HoldableScheduler&) = delete;
    HoldableScheduler& operator=(const HoldableScheduler&) = delete;

    std::unique_ptr<Timer> every(double seconds, std::function<void()> fn) override;
    std::unique_ptr<Timer> after(double seconds, std::function<void()> fn) override;

    // From now on no timer made here fires, including ones made while held. Holding twice is
    // holding once.
    void hold();
    // Timers that fell due while held fire once at the next turn of the event loop; the others
    // at their own time. Does nothing when not held.
    void release();
    bool held() const { return held_; }

    struct Entry;

  private:
    std::unique_ptr<Timer> add(double seconds, bool repeat, std::function<void()> fn);
    void arm(const std::shared_ptr<Entry>& entry);

    Scheduler& inner_;
    const Clock& clock_;
    bool held_ = false;
    std::vector<std::weak_ptr<Entry>> entries_;
};

}  // namespace qv
