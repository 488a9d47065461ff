// The screen source on X11 (xcb): the displays are the RandR monitors, frames are grabbed
// with MIT-SHM on a capture thread of our own, and the Damage extension tells complete frames
// from idle ones, so that an unchanged screen is neither grabbed nor scaled.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "overlay.h"
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
    struct Monitor {
        std::uint32_t id;
        Rect rect;
        bool primary;
    };
    class Capture;

    std::vector<Monitor> readMonitors() const;
    void run(Capture& capture, FrameReceiver& receiver, double interval);

    xcb::Connection connection_;
    xcb_screen_t* screen_ = nullptr;  // owned by connection_
    std::vector<Monitor> monitors_;
    std::unique_ptr<Capture> capture_;  // used by the capture thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool running_ = false;  // the capture thread runs and has not ended
    std::function<void()> whenStopped_;
    std::thread thread_;
};

}  // namespace hc
