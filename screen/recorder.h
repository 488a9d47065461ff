// The recorder: streams the main display into an H.264/MP4 video and saves stills of it
// whenever the screen changes noticeably.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "capture_rules.h"
#include "jpeg_encoder.h"
#include "sample_queue.h"
#include "screen_source.h"
#include "snapshots.h"
#include "video_sink.h"

namespace hc {

struct RecorderTimeouts {
    std::chrono::milliseconds captureStop{5000};
    std::chrono::milliseconds writerFinish{20000};
};

// One per process. start() runs on a start thread, frames arrive on the source's capture
// thread and are handled one at a time on the sample queue `q_`, finish() runs on whichever
// thread stops the recording. The services passed in outlive the recorder.
class Recorder final : public FrameReceiver {
  public:
    // Told why capture or writing ended by itself; called on the capture thread or on the
    // sample queue, so it must not block: its owner then runs finish() on another thread.
    using FailureHandler = std::function<void(const std::string& description)>;

    // Touches no file and starts nothing.
    Recorder(std::filesystem::path video, std::filesystem::path frames, ScreenSource& source,
             VideoSink& sink, JpegEncoder& jpeg, FailureHandler onFailure,
             RecorderTimeouts timeouts = {});
    ~Recorder() override = default;

    // Chooses the display, clears the way for the video, creates the frames folder, prepares
    // the writer and starts capture. Empty once capture runs, else why it could not start
    // (what was done before the failing step stays done).
    std::optional<Failure> start();

    // The stop sequence: stops capture (waiting at most 5 s), then on the sample queue either
    // finalises the video (waiting at most 20 s) or, when no frame was written, leaves it
    // uncreated. Returns when the process may end. Call once, from any thread but the queue.
    void finish();

    // FrameReceiver, on the capture thread.
    bool wantsFrame() override;
    void receive(Frame frame) override;
    void stopped(const std::string& error) override;

  private:
    std::optional<Failure> clearTheWay() const;
    void handleFrame(const Frame& frame);                 // on q_
    void writeFrame(const Picture& picture, double pts);  // on q_
    void sinkFailed(const Failure& failure);              // on q_

    const std::filesystem::path video_;
    const std::filesystem::path frames_;
    ScreenSource& source_;
    VideoSink& sink_;
    const FailureHandler onFailure_;
    const RecorderTimeouts timeouts_;
    std::atomic<bool> capturing_{false};  // a capture runs that finish() has not stopped
    std::atomic<bool> prepared_{false};   // the writer is set up

    // Touched only on q_.
    std::optional<double> firstPts_;  // the video's time zero, on the capture clock
    CheckSchedule checks_;
    bool finished_ = false;
    bool sinkFailed_ = false;
    Snapshots snapshots_;

    SampleQueue q_;  // last: its worker stops before the fields it uses go away
};

}  // namespace hc
