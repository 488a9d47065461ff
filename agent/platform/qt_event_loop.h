// Clock, timers and background work over Qt's event loop.
#pragma once

#include <QObject>
#include <QThreadPool>

#include "ports/clock.h"

namespace qv {

// Wall-clock time, as the backend's timestamps are.
class SystemClock : public Clock {
  public:
    double now() const override;
};

// QTimers on the thread that schedules them (the main thread), each owned by its handle.
class QtScheduler : public Scheduler {
  public:
    std::unique_ptr<Timer> every(double seconds, std::function<void()> fn) override;
    std::unique_ptr<Timer> after(double seconds, std::function<void()> fn) override;
};

// Work on a private thread pool; continuations are queued to the main thread. The pool is
// waited for on destruction, so destroy this before the objects its work touches.
class ThreadQueue : public BackgroundQueue {
  public:
    void run(std::function<void()> work, std::function<void()> then) override;

  private:
    QThreadPool pool_;
};

}  // namespace qv
