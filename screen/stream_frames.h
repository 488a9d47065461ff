// Frames from a stream of whole pictures, as a compositor's screen cast sends them (a picture
// only when the screen changed): each picture is delivered as soon as it arrives, yet complete
// frames come at least one frame interval apart, and an idle frame follows each interval
// without any frame. The picture is scaled into the recording's frame size (letterboxed when its
// shape differs, followed when its size changes), with hidden windows painted over and the
// change test's thumbnail taken from its own colours.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "area_scaler.h"
#include "overlay.h"
#include "picture.h"
#include "screen_source.h"

namespace hc {

enum class PixelLayout { BGRx, BGRA, RGBx, RGBA };

// One picture of a stream, valid only while the function it is handed to runs.
struct StreamImage {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
    PixelLayout layout = PixelLayout::BGRx;
};

// Where the pictures come from. Any thread.
class PictureStream {
  public:
    virtual ~PictureStream() = default;
    // True while a picture that arrived has not been taken.
    virtual bool hasPicture() = 0;
    // Calls `use` with the newest picture that arrived since the last call and returns true;
    // returns false when none did.
    virtual bool takeNewest(const std::function<void(const StreamImage&)>& use) = 0;
};

// When a stream's frames are due. Plain value; one thread.
class FramePacing {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Due { Nothing, Complete, Idle };

    explicit FramePacing(Clock::duration interval) : interval_(interval) {}

    // A waiting picture is due one interval after the last complete frame (at once before the
    // first); without one, an idle frame is due one interval after the last frame of any kind.
    Due due(Clock::time_point now, bool pictureWaiting) const;
    // A frame of `kind` (Complete or Idle) was delivered at `now`.
    void delivered(Due kind, Clock::time_point now);
    // When the next frame is due if nothing arrives meanwhile.
    Clock::time_point next(Clock::time_point now, bool pictureWaiting) const;

  private:
    Clock::duration interval_;
    std::optional<Clock::time_point> lastComplete_;
    std::optional<Clock::time_point> lastFrame_;
};

// Used by the capture thread only.
class StreamFrames {
  public:
    using Clock = std::chrono::steady_clock;
    // The hidden windows to paint over, as rectangles of an image of width × height. Asked once
    // for each picture.
    using Covers = std::function<std::vector<Rect>(int width, int height)>;

    // `stream` outlives this. Frames are frameWidth × frameHeight, at least `interval` apart.
    StreamFrames(PictureStream& stream, int frameWidth, int frameHeight, Clock::duration interval,
                 Covers covers);

    // One pass at `now` (see CaptureThread): delivers the waiting picture or an idle frame when
    // one is due and the receiver takes frames (else the picture keeps waiting), and returns
    // when the next pass is due if no picture arrives before.
    Clock::time_point pass(FrameReceiver& receiver, Clock::time_point now);

  private:
    // Scales `image` into a picture of the pool; fills `frame` and says in `notice` when the
    // stream's size changed.
    void make(const StreamImage& image, Frame& frame, std::string& notice);
    std::shared_ptr<Picture> freePicture();

    PictureStream& stream_;
    const int width_;
    const int height_;
    const Clock::duration interval_;
    const Covers covers_;
    FramePacing pacing_;
    std::optional<AreaScaler> scaler_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    PixelLayout layout_ = PixelLayout::BGRx;
    // Frame pictures for reuse: one that only this holds is free. All share the scaler's bars.
    std::vector<std::shared_ptr<Picture>> pool_;
    std::vector<std::uint8_t> covered_;  // a copy of the picture with hidden windows painted
};

}  // namespace hc
