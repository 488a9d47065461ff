#include "terminal_progress.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "ocr/progress.h"

namespace hc {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(250);
// Back to the start of the line, and clear to its end.
constexpr const char* kWipe = "\r\x1b[K";

}  // namespace

TerminalProgress::TerminalProgress(int fd) : fd_(fd) {}

TerminalProgress::~TerminalProgress() {
    const std::lock_guard lock(mutex_);
    if (drawn_) write(kWipe);
}

void TerminalProgress::operator()(std::size_t done, std::size_t total) {
    const std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    if (drawn_ && done <= shown_) return;
    if (drawn_ && done < total && now - lastDraw_ < kRedrawEvery) return;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    write(kWipe + progressLine(done, total, elapsed));
    drawn_ = true;
    shown_ = done;
    lastDraw_ = now;
}

void TerminalProgress::write(const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a terminal that went away: the run goes on without the line
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace hc
