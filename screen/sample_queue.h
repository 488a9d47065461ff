// The recorder's serial sample queue: one worker thread runs its tasks one at a time, in the
// order they were posted.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hc {

class SampleQueue {
  public:
    using Task = std::function<void()>;

    // At most `depth` frame tasks wait at any time (the one running does not count).
    explicit SampleQueue(std::size_t depth);
    // Drops the tasks that have not started and joins the worker.
    ~SampleQueue();
    SampleQueue(const SampleQueue&) = delete;
    SampleQueue& operator=(const SampleQueue&) = delete;

    // True while `depth` frame tasks wait. Any thread.
    bool full() const;
    // Queues a frame task unless the queue is full; false when it was dropped. Any thread.
    bool postFrame(Task task);
    // Queues a task outside the frame limit. Any thread.
    void post(Task task);
    // Runs `task` on the worker after everything queued before it and waits for it.
    // Never from the worker itself.
    void runSync(Task task);
    // True on the worker thread.
    bool onQueue() const { return std::this_thread::get_id() == worker_.get_id(); }

  private:
    struct Entry {
        Task task;
        bool frame;
    };
    void run();

    const std::size_t depth_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> tasks_;
    std::size_t waitingFrames_ = 0;
    bool closing_ = false;
    std::thread worker_;  // last: starts once the fields above exist
};

}  // namespace hc
