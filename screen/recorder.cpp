#include "recorder.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>

namespace hc {

namespace {

// A one-shot completion that can be waited for with a deadline. Shared with the service that
// completes it, which may do so after the waiter has given up.
class Completion {
  public:
    void complete() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
    }
    void waitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, limit, [this] { return done_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
};

}  // namespace

Recorder::Recorder(std::filesystem::path video, std::filesystem::path frames, ScreenSource& source,
                   VideoSink& sink, JpegEncoder& jpeg, FailureHandler onFailure,
                   RecorderTimeouts timeouts)
    : video_(std::move(video)),
      frames_(std::move(frames)),
      source_(source),
      sink_(sink),
      onFailure_(std::move(onFailure)),
      timeouts_(timeouts),
      snapshots_(frames_, jpeg),
      q_(CAPTURE_QUEUE_DEPTH) {}

std::optional<Failure> Recorder::start() {
    const auto content = source_.content();
    if (const auto* failure = std::get_if<Failure>(&content)) return *failure;
    const std::optional<Display> display = chooseDisplay(std::get<ShareableContent>(content));
    if (!display) return Failure{"No screen found"};
    const FrameSize size = frameSize(display->width, display->height);
    if (size.width < 2 || size.height < 2) return Failure{"The screen is too small to record"};
    const CaptureConfig config{*display,       size.width, size.height,
                               FRAME_INTERVAL, true,       isHiddenApplication};
    if (auto failure = clearTheWay()) return failure;
    if (auto failure = sink_.prepare(video_, size.width, size.height)) return failure;
    prepared_ = true;
    if (auto failure = source_.start(config, *this)) return failure;
    capturing_ = true;
    return std::nullopt;
}

std::optional<Failure> Recorder::clearTheWay() const {
    std::error_code error;
    // Only a file goes: a folder given by mistake as the video is never deleted.
    if (std::filesystem::is_directory(std::filesystem::symlink_status(video_, error)))
        return Failure{"The video path " + video_.string() + " is a folder"};
    std::filesystem::remove(video_, error);  // nothing there, or not ours to remove: fine
    std::filesystem::create_directories(frames_, error);
    if (error)
        return Failure{"Cannot create the folder " + frames_.string() + ": " + error.message()};
    return std::nullopt;
}

void Recorder::finish() {
    if (capturing_.exchange(false)) {
        auto stopped = std::make_shared<Completion>();
        source_.stop([stopped] { stopped->complete(); });
        stopped->waitFor(timeouts_.captureStop);
    }
    auto finalised = std::make_shared<Completion>();
    bool finalising = false;
    q_.runSync([&] {
        finished_ = true;  // frames still queued behind this are ignored
        if (!sink_.writing()) return;
        finalising = true;
        q_.post([this, finalised] {
            sink_.finish();
            finalised->complete();
        });
    });
    if (finalising) finalised->waitFor(timeouts_.writerFinish);
}

bool Recorder::wantsFrame() {
    return !q_.full();
}

void Recorder::receive(Frame frame) {
    q_.postFrame([this, frame = std::move(frame)] { handleFrame(frame); });
}

void Recorder::stopped(const std::string& error) {
    onFailure_(error);
}

void Recorder::handleFrame(const Frame& frame) {
    if (finished_ || sinkFailed_) return;
    if (!counts(frame) || !prepared_) return;
    writeFrame(*frame.picture, frame.pts);
    // Tested whether or not the frame went into the video.
    const double t = frame.pts - *firstPts_;
    if (checks_.due(t)) snapshots_.snapIfChanged(*frame.picture, t);
}

void Recorder::writeFrame(const Picture& picture, double pts) {
    if (!firstPts_) {
        firstPts_ = pts;
        if (auto failure = sink_.begin()) return sinkFailed(*failure);
    }
    if (sinkFailed_ || !sink_.ready()) return;  // left out of the video, not kept for later
    if (auto failure = sink_.append(picture, pts - *firstPts_)) sinkFailed(*failure);
}

void Recorder::sinkFailed(const Failure& failure) {
    sinkFailed_ = true;
    onFailure_(failure.description);
}

}  // namespace hc
