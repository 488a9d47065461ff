#include "recorder.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

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
                   RecorderTimeouts timeouts, CaptureClock clock, NoticeHandler onNotice)
    : video_(std::move(video)),
      frames_(std::move(frames)),
      source_(source),
      sink_(sink),
      onFailure_(std::move(onFailure)),
      timeouts_(timeouts),
      clock_(std::move(clock)),
      onNotice_(std::move(onNotice)),
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
    // The video lasts until now, however long the capture takes to confirm its stop.
    const double stopPts = clock_();
    if (capturing_.exchange(false)) {
        auto stopped = std::make_shared<Completion>();
        source_.stop([stopped] { stopped->complete(); });
        stopped->waitFor(timeouts_.captureStop);
    }
    // One deadline for the queue and the writer together: a frame stuck in a write that never
    // returns (a full disk, a hung network file system) must not keep the process alive. The
    // file then holds what was flushed before, which plays.
    auto finalised = std::make_shared<Completion>();
    q_.post([this, finalised, stopPts] {
        finalise(stopPts);
        finalised->complete();
    });
    finalised->waitFor(timeouts_.writerFinish);
}

bool Recorder::wantsFrame() {
    return !q_.full();
}

void Recorder::receive(Frame frame) {
    // A source asks wantsFrame() first, so the queue has room; should a complete frame still
    // find it full, what it changed goes with the next one, or the encoder would skip blocks
    // that did change.
    if (frame.status != FrameStatus::Complete) {
        q_.postFrame([this, frame = std::move(frame)] { handleFrame(frame); });
        return;
    }
    if (notQueued_) {
        notQueued_->add(frame.change);
        frame.change = std::move(*notQueued_);
        notQueued_.reset();
    }
    PictureChange change = frame.change;
    if (!q_.postFrame([this, frame = std::move(frame)] { handleFrame(frame); }))
        notQueued_ = std::move(change);
}

void Recorder::stopped(const std::string& error) {
    onFailure_(error);
}

void Recorder::displayChanged(const std::string& description) {
    if (onNotice_) onNotice_(description);
}

void Recorder::handleFrame(const Frame& frame) {
    if (finished_ || sinkFailed_ || !prepared_) return;
    if (!counts(frame)) return repeatIfStill(frame.pts);
    writeFrame(frame.picture, frame.change, frame.pts);
    // Tested whether or not the frame went into the video.
    const double t = frame.pts - *firstPts_;
    if (checks_.due(t)) snapshots_.snapIfChanged(*frame.picture, frame.thumbnail, t);
}

void Recorder::writeFrame(const std::shared_ptr<const Picture>& picture,
                          const PictureChange& change, double pts) {
    if (!firstPts_) {
        firstPts_ = pts;
        if (auto failure = sink_.begin()) return sinkFailed(*failure);
    }
    // Kept even when the encoder is too busy for it: a repeat or the stop then shows it.
    lastPicture_ = picture;
    unwritten_.add(change);
    if (sinkFailed_ || !sink_.ready()) return;  // left out of the video, not kept for later
    append(pts - *firstPts_);
}

// Idle frames are neither written nor tested; only the clock they carry is used, to write the
// last picture again once the screen has been still for a while. Such a repeat is no new
// content: it gets no change test and no still.
void Recorder::repeatIfStill(double pts) {
    if (!firstPts_ || !lastPicture_ || sinkFailed_) return;
    const double t = pts - *firstPts_;
    if (t - lastWrittenAt_ < REPEAT_INTERVAL || !sink_.ready()) return;
    append(t);
}

void Recorder::append(double t) {
    const PictureChange change = std::exchange(unwritten_, PictureChange::none());
    if (auto failure = sink_.append(*lastPicture_, t, change)) return sinkFailed(*failure);
    lastWrittenAt_ = t;
}

void Recorder::finalise(double stopPts) {
    if (finished_) return;
    finished_ = true;              // frames still queued behind this are ignored
    if (!sink_.writing()) return;  // no frame yet, or a writer that failed: no video to finish
    // The last picture once more at the stop, so that a still screen at the end keeps its
    // length in the video. Skipped when it would not come after the last frame.
    const double t = stopPts - *firstPts_;
    if (lastPicture_ && t > lastWrittenAt_ + 0.001 && sink_.ready()) append(t);
    if (!sinkFailed_) sink_.finish();
}

void Recorder::sinkFailed(const Failure& failure) {
    sinkFailed_ = true;
    onFailure_(failure.description);
}

}  // namespace hc
