// Time and scheduling as the agent's logic sees them, so tests can drive time themselves.
#pragma once

#include <functional>
#include <memory>

namespace qv {

// Absolute time in seconds (since the Unix epoch), as a double.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

// A scheduled timer, owned by whoever scheduled it: the timer runs until its handle is
// destroyed, so an owner's timers end with it. Main thread.
class Timer {
  public:
    virtual ~Timer() = default;
};

// Timers on the main thread. Callbacks run on the main thread, never re-entrantly.
class Scheduler {
  public:
    virtual ~Scheduler() = default;
    // Runs `fn` every `seconds`, first one interval from now, for as long as the handle lives.
    [[nodiscard]] virtual std::unique_ptr<Timer> every(double seconds,
                                                       std::function<void()> fn) = 0;
    // Runs `fn` once, `seconds` from now, unless the handle has gone by then.
    [[nodiscard]] virtual std::unique_ptr<Timer> after(double seconds,
                                                       std::function<void()> fn) = 0;
};

// Runs blocking work off the main thread, then hands a continuation to the main thread.
class BackgroundQueue {
  public:
    virtual ~BackgroundQueue() = default;
    // `work` runs on a worker thread; `then` runs afterwards on the main thread, if the main
    // loop still runs by then.
    virtual void run(std::function<void()> work, std::function<void()> then) = 0;
};

}  // namespace qv
