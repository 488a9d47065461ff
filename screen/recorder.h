// The recorder: streams the main display into an H.264/MP4 video and saves stills of it
// whenever the screen changes noticeably.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
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
    // From the moment the capture has stopped (or was given up on) until finish() returns,
    // whatever the sample queue is doing: a frame stuck in a blocked write cannot hold the
    // process past it.
    std::chrono::milliseconds writerFinish{20000};
};

// Reads the capture clock (seconds, as frames are stamped); tests pass their own.
using CaptureClock = std::function<double()>;

// One per process. start() runs on a start thread, frames arrive on the source's capture
// thread and are handled one at a time on the sample queue `q_`, finish() runs on whichever
// thread stops the recording. The services passed in outlive the recorder.
class Recorder final : public FrameReceiver {
  public:
    // Told why capture or writing ended by itself; called on the capture thread or on the
    // sample queue, so it must not block: its owner then runs finish() on another thread.
    using FailureHandler = std::function<void(const std::string& description)>;
    // Told what changed when the recorded display changed; on the capture thread, must not
    // block. Recording goes on.
    using NoticeHandler = std::function<void(const std::string& description)>;

    // Touches no file and starts nothing.
    Recorder(std::filesystem::path video, std::filesystem::path frames, ScreenSource& source,
             VideoSink& sink, JpegEncoder& jpeg, FailureHandler onFailure,
             RecorderTimeouts timeouts = {}, CaptureClock clock = captureClockNow,
             NoticeHandler onNotice = {});
    ~Recorder() override = default;

    // Chooses the display, clears the way for the video, creates the frames folder, prepares
    // the writer and starts capture. Empty once capture runs, else why it could not start
    // (what was done before the failing step stays done).
    std::optional<Failure> start();

    // The stop sequence: stops capture (waiting at most 5 s), then on the sample queue either
    // writes the last picture once more, stamped with the time of this call, and finalises the
    // video, or, when no frame was written, leaves it uncreated. Returns once that is done or
    // 20 s after the capture stopped, whichever comes first; the process may then end. Call
    // once, from any thread but the queue.
    void finish();

    // FrameReceiver, on the capture thread.
    bool wantsFrame() override;
    void receive(Frame frame) override;
    void stopped(const std::string& error) override;
    void displayChanged(const std::string& description) override;

  private:
    std::optional<Failure> clearTheWay() const;
    // On q_.
    void handleFrame(const Frame& frame);
    void writeFrame(const std::shared_ptr<const Picture>& picture, const PictureChange& change,
                    double pts);
    void repeatIfStill(double pts);
    void append(double t);  // the last picture at video time t
    void finalise(double stopPts);
    void sinkFailed(const Failure& failure);

    const std::filesystem::path video_;
    const std::filesystem::path frames_;
    ScreenSource& source_;
    VideoSink& sink_;
    const FailureHandler onFailure_;
    const RecorderTimeouts timeouts_;
    const CaptureClock clock_;
    const NoticeHandler onNotice_;
    std::atomic<bool> capturing_{false};  // a capture runs that finish() has not stopped
    std::atomic<bool> prepared_{false};   // the writer is set up

    // Touched only on the capture thread: what complete frames that found the queue full changed.
    std::optional<PictureChange> notQueued_;

    // Touched only on q_.
    std::optional<double> firstPts_;              // the video's time zero, on the capture clock
    std::shared_ptr<const Picture> lastPicture_;  // the latest complete picture
    PictureChange unwritten_;      // what lastPicture_ changed since the picture last appended
    double lastWrittenAt_ = -1.0;  // video time of the last frame in the file
    CheckSchedule checks_;
    bool finished_ = false;
    bool sinkFailed_ = false;
    Snapshots snapshots_;

    SampleQueue q_;  // last: its worker stops before the fields it uses go away
};

}  // namespace hc
