// The progress line of `hc-screen ocr` on a terminal: redrawn in place on one line, at most a few
// times a second, and wiped when the run is done, so the terminal is left as it was.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace hc {

class TerminalProgress {
  public:
    // Draws on `fd`, which the caller has found to be a terminal and keeps open.
    explicit TerminalProgress(int fd);
    // Wipes the line if one was drawn.
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // A StillsDone: may be called from any thread. A count below one already shown is ignored;
    // the last still is always shown.
    void operator()(std::size_t done, std::size_t total);

  private:
    using Clock = std::chrono::steady_clock;
    void write(const std::string& bytes);

    const int fd_;
    const Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
    bool drawn_ = false;          // guarded by mutex_
    std::size_t shown_ = 0;       // guarded by mutex_
    Clock::time_point lastDraw_;  // guarded by mutex_
};

}  // namespace hc
