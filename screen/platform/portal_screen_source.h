// The screen source on Wayland: the monitor the user shares through the ScreenCast portal,
// received as a PipeWire stream. The compositor sends a picture only when the screen changed;
// each one becomes a complete frame as it arrives (at most one per frame interval), and idle
// frames keep the time while none come. Windows of hidden applications on XWayland are painted
// over.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "capture_thread.h"
#include "overlay.h"
#include "portal_bus.h"
#include "screen_source.h"

namespace hc {

class PipeWireStream;
class StreamFrames;
class XWaylandWindows;

class PortalScreenSource final : public ScreenSource {
  public:
    // `notice` says a line on standard error (things that do not stop the recording).
    explicit PortalScreenSource(std::function<void(std::string_view)> notice);
    // Stops the capture thread, the stream and the portal session.
    ~PortalScreenSource() override;

    // Asks the portal for the screen (the desktop may ask the user first) and connects its
    // stream; the one display is the shared monitor at the stream's size.
    std::variant<ShareableContent, Failure> content() override;
    std::optional<Failure> start(const CaptureConfig& config, FrameReceiver& receiver) override;
    void stop(std::function<void()> done) override;

  private:
    // First, so that it outlives the bus and the stream, whose threads report to it; the
    // destructor joins it before anything its passes use goes.
    CaptureThread thread_;
    std::function<void(std::string_view)> notice_;
    std::unique_ptr<PortalBus> bus_;
    std::optional<ObjectPath> session_;
    std::optional<Rect> area_;  // the monitor in desktop coordinates, when the portal said
    std::unique_ptr<PipeWireStream> stream_;
    // Used by the capture thread only.
    std::unique_ptr<XWaylandWindows> windows_;
    std::unique_ptr<StreamFrames> frames_;
};

}  // namespace hc
