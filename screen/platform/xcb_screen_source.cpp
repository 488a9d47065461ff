#include "platform/xcb_screen_source.h"

#include <chrono>

namespace hc {

XcbScreenSource::XcbScreenSource() = default;

XcbScreenSource::~XcbScreenSource() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
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
    std::lock_guard lock(mutex_);
    if (stopping_) return std::nullopt;  // asked to stop already: nothing to start
    running_ = true;
    thread_ = std::thread([this, &receiver, interval = config.minFrameInterval] {
        run(*capture_, receiver, interval);
    });
    return std::nullopt;
}

void XcbScreenSource::run(xcb::Capture& capture, FrameReceiver& receiver, double interval) {
    using Clock = xcb::Capture::Clock;
    const auto step =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
    bool lost = false;
    for (auto next = Clock::now(); !lost;) {
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_until(lock, next, [this] { return stopping_; })) break;
        }
        // Ticks start at least one interval apart, so frames never come faster than that.
        const auto now = Clock::now();
        lost = !capture.tick(receiver, now);
        next = now + step;
    }
    std::function<void()> done;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        done = std::move(whenStopped_);
    }
    if (done) done();
    if (lost) receiver.stopped("Lost the connection to the X server");
}

void XcbScreenSource::stop(std::function<void()> done) {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (running_) {
            whenStopped_ = std::move(done);
            done = nullptr;
        }
    }
    wake_.notify_all();
    if (done) done();
}

}  // namespace hc
