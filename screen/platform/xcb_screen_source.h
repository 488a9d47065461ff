// The screen source on X11 (xcb): the displays are the RandR monitors, frames are grabbed
// with MIT-SHM on a capture thread of our own. The Damage extension tells complete frames from
// idle ones and names the rectangles that changed: only those are grabbed, scaled and
// converted, into a picture kept from frame to frame. The recorded display follows the main
// monitor as RandR reports it (a new size, another primary, the primary gone), scaled into the
// frame size the capture started with.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "capture_thread.h"
#include "platform/xcb_capture.h"
#include "platform/xcb_support.h"
#include "screen_source.h"

namespace hc {

class XcbScreenSource final : public ScreenSource {
  public:
    XcbScreenSource();
    // Stops the capture thread and waits for it.
    ~XcbScreenSource() override;

    std::variant<ShareableContent, Failure> content() override;
    std::optional<Failure> start(const CaptureConfig& config, FrameReceiver& receiver) override;
    void stop(std::function<void()> done) override;

  private:
    xcb::Connection connection_;
    xcb_screen_t* screen_ = nullptr;  // owned by connection_
    std::vector<xcb::Monitor> monitors_;
    std::unique_ptr<xcb::Capture> capture_;  // used by the capture thread only
    CaptureThread thread_;                   // last: it stops before what it uses goes
};

}  // namespace hc
