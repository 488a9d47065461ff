// The video writer the recorder appends complete frames to.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "picture.h"
#include "screen_source.h"

namespace hc {

// Used from one thread at a time: prepare() on the start thread, everything else on the
// recorder's sample queue.
class VideoSink {
  public:
    virtual ~VideoSink() = default;
    // Sets the writer up for `path` at width × height; creates no file yet.
    virtual std::optional<Failure> prepare(const std::filesystem::path& path, int width,
                                           int height) = 0;
    // Creates the file and starts writing; called once, at the first complete frame.
    virtual std::optional<Failure> begin() = 0;
    // True between a successful begin() and finish() or a failure.
    virtual bool writing() const = 0;
    // False while the encoder cannot take a frame now; such a frame is left out.
    virtual bool ready() const = 0;
    // Writes `picture` at `t` seconds of video time; each frame is in the file when this
    // returns, so a killed process keeps everything appended so far. `change` says what differs
    // from the picture appended before (everything, for the first); a picture that changed
    // nothing repeats the one before and may be coded to sharpen it.
    virtual std::optional<Failure> append(const Picture& picture, double t,
                                          const PictureChange& change) = 0;
    // Completes the file. Called at most once, only while writing().
    virtual void finish() = 0;
};

std::unique_ptr<VideoSink> makeVideoSink();

}  // namespace hc
