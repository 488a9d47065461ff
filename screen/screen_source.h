// The screen-capture service the recorder reads frames from, and what it delivers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "overlay.h"
#include "picture.h"

namespace hc {

// Something that went wrong in a platform service, as one human-readable line.
struct Failure {
    std::string description;
};

// One display of the machine, in pixels.
struct Display {
    std::uint32_t id = 0;
    int width = 0;
    int height = 0;
};

struct ShareableContent {
    std::vector<Display> displays;
    // The display the user calls main, when the service knows one.
    std::optional<std::uint32_t> mainId;
};

struct CaptureConfig {
    Display display;
    // Size of the delivered pictures (even numbers).
    int width = 0;
    int height = 0;
    double minFrameInterval = 0.2;  // seconds
    bool showsCursor = true;
    // Windows of the applications for which this answers true are left out of the picture.
    std::function<bool(std::string_view applicationId)> hides;
};

enum class FrameStatus {
    Complete,  // the screen or the cursor changed since the previous frame
    Idle,      // nothing changed; carries no picture
};

// The capture clock: seconds of CLOCK_MONOTONIC (std::chrono::steady_clock). Frames are
// stamped with it, and the recorder reads it to stamp the stop.
double captureClockNow();

// Which parts of a picture differ from an earlier one: all of it (when that is not known), or
// only the listed rectangles, in picture coordinates (none listed: the very same picture).
struct PictureChange {
    bool whole = true;
    std::vector<Rect> rects;

    static PictureChange none() { return {false, {}}; }
    // Adds what changed next: the result is what differs from the earlier picture then.
    void add(const PictureChange& next);
};

struct Frame {
    FrameStatus status = FrameStatus::Idle;
    double pts = 0.0;  // seconds on the capture clock
    std::shared_ptr<const Picture> picture;
    // The captured picture before it became `picture`, shrunk to 48 × 27 grey bytes (see
    // greyThumbnail in snapshots.h). Empty when the source has none; the recorder then shrinks
    // `picture` itself.
    std::vector<std::uint8_t> thumbnail;
    // What `picture` changed since the picture of the complete frame before it. A pixel outside
    // the rectangles listed must be exactly as it was: the encoder skips what is said unchanged.
    PictureChange change;
};

// Receives what a running capture produces. Called on the capture thread, one call at a time.
// While nothing changes, a source keeps delivering idle frames (at least one a second): the
// recorder keeps the video's timeline with them.
class FrameReceiver {
  public:
    virtual ~FrameReceiver() = default;
    // False while the receiver cannot take a frame: the source then skips the grab and keeps
    // the change pending, so that the next frame it delivers is complete.
    virtual bool wantsFrame() = 0;
    virtual void receive(Frame frame) = 0;
    // The capture ended by itself with an error; no frame follows. The source has already
    // finished stopping, so stop() completes at once after this.
    virtual void stopped(const std::string& error) = 0;
    // The display being recorded changed (its size, or which monitor is the main one); the
    // capture goes on and scales the new picture into the same frame size. Once per change.
    virtual void displayChanged(const std::string& description) = 0;
};

// The screen-capture service. content() and start() are called once each, from one thread;
// stop() may come from any other thread, also before or during start().
class ScreenSource {
  public:
    virtual ~ScreenSource() = default;
    virtual std::variant<ShareableContent, Failure> content() = 0;
    // Starts delivering frames to `receiver`, which outlives the source. Empty when capture
    // runs, else why it could not start.
    virtual std::optional<Failure> start(const CaptureConfig& config, FrameReceiver& receiver) = 0;
    // Asks the capture to end; `done` runs (on some thread) once no further frame will come.
    virtual void stop(std::function<void()> done) = 0;
};

// The platform's screen source, chosen by the build.
std::unique_ptr<ScreenSource> makeScreenSource();

}  // namespace hc
