#include "platform/xcb_screen_source.h"

#include <chrono>

namespace hc {

XcbScreenSource::XcbScreenSource() = default;

XcbScreenSource::~XcbScreenSource() {
    thread_.join();
}

std::variant<ShareableContent, Failure> XcbScreenSource::content() {
    if (!connection_) {
        xcb::Opened opened = xcb::openDisplay();
        if (!opened.connection) return Failure{opened.error};
        connection_ = std::move(opened.connection);
        screen_ = opened.screen;
    }
    monitors_ = xcb::readMonitors(connection_.get(), *screen_);
    ShareableContent content;
    for (const xcb::Monitor& m : monitors_) {
        content.displays.push_back({m.id, m.rect.width, m.rect.height});
        if (m.primary && !content.mainId) content.mainId = m.id;
    }
    return content;
}

std::optional<Failure> XcbScreenSource::start(const CaptureConfig& config,
                                              FrameReceiver& receiver) {
    const xcb::Monitor* monitor = nullptr;
    for (const xcb::Monitor& m : monitors_)
        if (m.id == config.display.id) monitor = &m;
    if (!connection_ || monitor == nullptr) return Failure{"No screen found"};
    xcb_connection_t* c = connection_.get();
    auto capture = xcb::Capture::create(c, *screen_, monitor->rect, config);
    if (auto* failure = std::get_if<Failure>(&capture)) return *failure;
    capture_ = std::move(std::get<std::unique_ptr<xcb::Capture>>(capture));
    xcb_flush(c);
    const auto step = std::chrono::duration_cast<CaptureThread::Clock::duration>(
        std::chrono::duration<double>(config.minFrameInterval));
    // Passes start at least one interval apart, so frames never come faster than that.
    auto pass = [this, &receiver, step](CaptureThread::Clock::time_point now)
        -> std::variant<CaptureThread::Clock::time_point, Failure> {
        if (!capture_->tick(receiver, now)) return Failure{"Lost the connection to the X server"};
        return now + step;
    };
    return thread_.start(std::move(pass), receiver);
}

void XcbScreenSource::stop(std::function<void()> done) {
    thread_.stop(std::move(done));
}

}  // namespace hc
