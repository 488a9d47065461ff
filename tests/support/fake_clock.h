// A clock and scheduler whose time moves only when the test advances it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "ports/clock.h"

namespace qv::test {

class FakeClock : public Clock, public Scheduler {
  public:
    explicit FakeClock(double start = 1'000'000.0) : now_(start) {}

    double now() const override { return now_; }
    std::unique_ptr<Timer> every(double seconds, std::function<void()> fn) override {
        return add(now_ + seconds, seconds, std::move(fn));
    }
    std::unique_ptr<Timer> after(double seconds, std::function<void()> fn) override {
        return add(now_ + seconds, 0, std::move(fn));
    }

    // Moves time forward, running every timer that falls due, in time order (ties in the
    // order they were scheduled); each runs with the clock at its own due time. A timer whose
    // handle has gone no longer runs.
    void advance(double seconds) {
        const double target = now_ + seconds;
        while (!timers_.empty() && timers_.begin()->first.first <= target) {
            auto node = timers_.extract(timers_.begin());
            Entry entry = std::move(node.mapped());
            if (!*entry.alive) continue;
            now_ = node.key().first;
            entry.fn();
            if (entry.interval > 0 && *entry.alive)
                timers_.emplace(std::make_pair(now_ + entry.interval, seq_++), std::move(entry));
        }
        now_ = target;
    }
    void set(double when) { now_ = when; }
    // Timers that will still run.
    size_t pendingTimers() const {
        size_t n = 0;
        for (const auto& [due, entry] : timers_) n += *entry.alive ? 1 : 0;
        return n;
    }

  private:
    struct Entry {
        double interval;
        std::function<void()> fn;
        std::shared_ptr<bool> alive;
    };
    class Handle : public Timer {
      public:
        explicit Handle(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
        ~Handle() override { *alive_ = false; }

      private:
        std::shared_ptr<bool> alive_;
    };
    std::unique_ptr<Timer> add(double due, double interval, std::function<void()> fn) {
        auto alive = std::make_shared<bool>(true);
        timers_.emplace(std::make_pair(due, seq_++), Entry{interval, std::move(fn), alive});
        return std::make_unique<Handle>(alive);
    }
    double now_;
    long seq_ = 0;
    std::map<std::pair<double, long>, Entry> timers_;
};

}  // namespace qv::test
