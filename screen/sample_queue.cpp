#include "sample_queue.h"

#include <future>

namespace hc {

SampleQueue::SampleQueue(std::size_t depth) : depth_(depth), worker_([this] { run(); }) {}

SampleQueue::~SampleQueue() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

bool SampleQueue::full() const {
    std::lock_guard lock(mutex_);
    return waitingFrames_ >= depth_;
}

bool SampleQueue::postFrame(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (waitingFrames_ >= depth_) return false;
        ++waitingFrames_;
        tasks_.push_back({std::move(task), true});
    }
    wake_.notify_one();
    return true;
}

void SampleQueue::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back({std::move(task), false});
    }
    wake_.notify_one();
}

void SampleQueue::runSync(Task task) {
    std::promise<void> done;
    post([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

void SampleQueue::run() {
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
            if (closing_) return;
            entry = std::move(tasks_.front());
            tasks_.pop_front();
            if (entry.frame) --waitingFrames_;
        }
        entry.task();
    }
}

}  // namespace hc
