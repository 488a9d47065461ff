#include "capture_thread.h"

namespace hc {

CaptureThread::~CaptureThread() {
    join();
}

void CaptureThread::join() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::optional<Failure> CaptureThread::start(Pass pass, FrameReceiver& receiver) {
    std::lock_guard lock(mutex_);
    if (!endedWhy_.empty()) return Failure{endedWhy_};
    if (stopping_) return std::nullopt;  // asked to stop already: nothing to start
    running_ = true;
    pass_ = std::move(pass);
    thread_ = std::thread([this, &receiver] { run(pass_, receiver); });
    return std::nullopt;
}

void CaptureThread::run(const Pass& pass, FrameReceiver& receiver) {
    std::string ended;
    for (auto next = Clock::now();;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, next,
                             [this] { return woken_ || stopping_ || !endedWhy_.empty(); });
            if (stopping_) break;
            if (!endedWhy_.empty()) {
                ended = endedWhy_;
                break;
            }
            woken_ = false;
        }
        auto result = pass(Clock::now());
        if (auto* failure = std::get_if<Failure>(&result)) {
            ended = failure->description;
            break;
        }
        next = std::get<Clock::time_point>(result);
    }
    std::function<void()> done;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        done = std::move(whenStopped_);
    }
    // The stop is complete before the receiver hears why the capture ended, so that its
    // owner's stop sequence (which the receiver may start) finds the capture stopped.
    if (done) done();
    if (!ended.empty()) receiver.stopped(ended);
}

void CaptureThread::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void CaptureThread::end(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (!endedWhy_.empty()) return;
        endedWhy_ = why;
    }
    wake_.notify_all();
}

void CaptureThread::stop(std::function<void()> done) {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (running_) {
            whenStopped_ = std::move(done);
            done = nullptr;
        }
    }
    wake_.notify_all();
    if (done) done();
}

}  // namespace hc
