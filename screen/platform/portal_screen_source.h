// The screen source on Wayland: the monitor the user shares through the ScreenCast portal,
// received as a PipeWire stream. The compositor sends a picture only when the screen changed,
// so each frame interval delivers the newest picture as a complete frame, or an idle frame
// when none came. Windows of hidden applications on XWayland are painted over.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "overlay.h"
#include "portal_bus.h"
#include "screen_source.h"

namespace hc {

class PipeWireStream;
class StreamScaler;
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
    class Capture;
    void end(const std::string& why);
    void run(Capture& capture, FrameReceiver& receiver, double interval);

    std::function<void(std::string_view)> notice_;
    std::unique_ptr<PortalBus> bus_;
    std::optional<ObjectPath> session_;
    std::optional<Rect> area_;  // the monitor in desktop coordinates, when the portal said
    std::unique_ptr<PipeWireStream> stream_;
    std::unique_ptr<Capture> capture_;  // used by the capture thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool running_ = false;  // the capture thread runs and has not ended
    std::string endedWhy_;  // the stream ended by itself
    std::function<void()> whenStopped_;
    std::thread thread_;
};

}  // namespace hc
