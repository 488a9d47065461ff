// One running capture of an X screen: which monitor is recorded, what changed on it since the
// previous frame, and the frame picture kept up to date from those changes. Everything here is
// touched by the capture thread only.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "area_scaler.h"
#include "overlay.h"
#include "platform/xcb_cursor.h"
#include "platform/xcb_grabber.h"
#include "platform/xcb_windows.h"
#include "screen_source.h"
#include "snapshots.h"

namespace hc::xcb {

struct Monitor {
    std::uint32_t id;
    Rect rect;
    bool primary;
};

// The RandR monitors of the screen as it is now, clipped to the root window as it is now (the
// whole root when the server has no RandR 1.5).
std::vector<Monitor> readMonitors(xcb_connection_t* c, const xcb_screen_t& screen);

// The main monitor: the primary one, else the first; nothing when there is none.
std::optional<Monitor> mainMonitor(const std::vector<Monitor>& monitors);

class DamageWatch;

class Capture {
  public:
    using Clock = std::chrono::steady_clock;

    // For `config`, starting on `area` (a monitor's rectangle). Fails when the screen cannot be
    // read (an unsupported pixel format).
    static std::variant<std::unique_ptr<Capture>, Failure> create(xcb_connection_t* c,
                                                                  const xcb_screen_t& screen,
                                                                  const Rect& area,
                                                                  const CaptureConfig& config);
    ~Capture();

    // One frame interval: delivers an idle or a complete frame, or nothing while the receiver
    // is full. False once the connection to the server is lost.
    bool tick(FrameReceiver& receiver, Clock::time_point now);

  private:
    Capture(xcb_connection_t* c, const xcb_screen_t& screen, const CaptureConfig& config);
    std::optional<Failure> follow(const Rect& area);
    void followTheMainMonitor(FrameReceiver& receiver);
    void readEvents();
    std::vector<Rect> changedRects();
    bool update(const std::vector<Rect>& rects, bool drawCursor);
    Rect cursorRect() const;

    xcb_connection_t* c_;
    const xcb_screen_t& screen_;
    const int width_;  // the frame size, fixed for the whole capture
    const int height_;
    WindowStack windows_;
    std::unique_ptr<DamageWatch> damage_;  // none: every frame is a whole new picture
    std::unique_ptr<CursorWatch> cursor_;
    std::uint8_t randrEvent_ = 0;  // first event code of RandR; 0 without it

    // What is recorded now; rebuilt when the main monitor changes.
    std::optional<Grabber> grabber_;
    std::optional<AreaScaler> scaler_;
    std::optional<ThumbnailCells> cells_;
    std::shared_ptr<Picture> picture_;  // copied before a change while a frame still holds it
    std::vector<Rect> written_;         // what the last update wrote into it

    // Changes not delivered yet.
    bool damaged_ = false;
    bool whole_ = true;  // the whole area (the first frame, after a change of monitor)
    bool cursorChanged_ = false;
    std::vector<Rect> pending_;  // area coordinates; kept when a grab was refused
    std::vector<Rect> covers_;   // hidden windows painted over, area coordinates
    Rect drawnCursor_;           // where the cursor was drawn into the image
    bool checkMonitors_ = false;
    Clock::time_point nextMonitorCheck_{};
};

}  // namespace hc::xcb
