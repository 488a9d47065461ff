// Time and scheduling as the agent's logic sees them, so tests can drive time themselves.
#pragma once

#include <functional>

namespace qv {

// Absolute time in seconds (since the Unix epoch), as a double.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};

// Timers on the main thread. Callbacks run on the main thread, never re-entrantly.
class Scheduler {
  public:
    virtual ~Scheduler() = default;
    // Runs `fn` every `seconds`, first one interval from now, until the process ends.
    virtual void every(double seconds, std::function<void()> fn) = 0;
    // Runs `fn` once, `seconds` from now.
    virtual void after(double seconds, std::function<void()> fn) = 0;
};

// Runs blocking work off the main thread, then hands a continuation to the main thread.
class BackgroundQueue {
  public:
    virtual ~BackgroundQueue() = default;
    // `work` runs on a worker thread; `then` runs afterwards on the main thread.
    virtual void run(std::function<void()> work, std::function<void()> then) = 0;
};

}  // namespace qv
