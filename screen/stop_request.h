// Requests to stop recording, from any thread (signal thread, capture thread, sample queue).
// The first one wins; the thread that waits runs the stop sequence once.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace hc {

class StopRequest {
  public:
    // Never blocks. `reason` says why recording ended by itself; a signal has none.
    void request(std::optional<std::string> reason = std::nullopt) {
        {
            std::lock_guard lock(mutex_);
            if (requested_) return;
            requested_ = true;
            reason_ = std::move(reason);
        }
        cv_.notify_all();
    }

    // Returns the first request's reason once it has come.
    std::optional<std::string> wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return requested_; });
        return reason_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool requested_ = false;
    std::optional<std::string> reason_;
};

}  // namespace hc
