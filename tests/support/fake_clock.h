// A clock and scheduler whose time moves only when the test advances it.
#pragma once

#include <functional>
#include <map>
#include <utility>

#include "ports/clock.h"

namespace qv::test {

class FakeClock : public Clock, public Scheduler {
  public:
    explicit FakeClock(double start = 1'000'000.0) : now_(start) {}

    double now() const override { return now_; }
    void every(double seconds, std::function<void()> fn) override {
        add(now_ + seconds, seconds, std::move(fn));
    }
    void after(double seconds, std::function<void()> fn) override {
        add(now_ + seconds, 0, std::move(fn));
    }

    // Moves time forward, running every timer that falls due, in time order (ties in the
    // order they were scheduled); each runs with the clock at its own due time.
    void advance(double seconds) {
        const double target = now_ + seconds;
        while (!timers_.empty() && timers_.begin()->first.first <= target) {
            auto node = timers_.extract(timers_.begin());
            now_ = node.key().first;
            Timer timer = std::move(node.mapped());
            timer.fn();
            if (timer.interval > 0) add(now_ + timer.interval, timer.interval, std::move(timer.fn));
        }
        now_ = target;
    }
    void set(double when) { now_ = when; }
    size_t pendingTimers() const { return timers_.size(); }

  private:
    struct Timer {
        double interval;
        std::function<void()> fn;
    };
    void add(double due, double interval, std::function<void()> fn) {
        timers_.emplace(std::make_pair(due, seq_++), Timer{interval, std::move(fn)});
    }
    double now_;
    long seq_ = 0;
    std::map<std::pair<double, long>, Timer> timers_;
};

}  // namespace qv::test
