// The thread a screen source delivers its frames on: it runs the source's pass at the times the
// pass asks for (or at once when woken, because something arrived) until the capture is
// stopped or ends by itself, and implements ScreenSource::stop() for the source.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "screen_source.h"

namespace hc {

class CaptureThread {
  public:
    using Clock = std::chrono::steady_clock;
    // One pass of the capture at `now`: delivers what is due to the receiver and returns when
    // the next pass is due, or why the capture cannot go on. Runs on the capture thread only.
    using Pass = std::function<std::variant<Clock::time_point, Failure>(Clock::time_point now)>;

    CaptureThread() = default;
    // join().
    ~CaptureThread();
    CaptureThread(const CaptureThread&) = delete;
    CaptureThread& operator=(const CaptureThread&) = delete;

    // Runs `pass` on a new thread, the first time at once, with `receiver` told (through
    // FrameReceiver::stopped) when the capture ends by itself. Empty when the thread runs or
    // when stop() came first (then nothing starts); the reason when the capture ended (end())
    // before it could start. Call once.
    std::optional<Failure> start(Pass pass, FrameReceiver& receiver);
    // Runs the next pass now instead of at its time. Any thread; never blocks for long.
    void wake();
    // The capture ended by itself (its service went away): the thread stops after its current
    // pass and tells the receiver why. Only the first reason counts. Any thread.
    void end(const std::string& why);
    // ScreenSource::stop(): `done` runs once no pass runs or will run, at once when the thread
    // is not running. Any thread but the capture thread.
    void stop(std::function<void()> done);
    // Stops the thread and waits until it has ended; what its pass uses and the receiver must
    // still be alive. Not from the capture thread.
    void join();

  private:
    void run(const Pass& pass, FrameReceiver& receiver);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
    bool stopping_ = false;
    bool running_ = false;  // the thread runs and has not ended
    std::string endedWhy_;  // the capture ended by itself
    std::function<void()> whenStopped_;
    Pass pass_;
    std::thread thread_;
};

}  // namespace hc
