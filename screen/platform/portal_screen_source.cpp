#include "platform/portal_screen_source.h"

#include <chrono>
#include <cstdlib>

#include "platform/gio_portal_bus.h"
#include "platform/pipewire_stream.h"
#include "platform/xwayland_windows.h"
#include "restore_token.h"
#include "screencast_portal.h"
#include "stream_cover.h"
#include "stream_frames.h"

namespace hc {

namespace {

constexpr auto FORMAT_LIMIT = std::chrono::seconds(15);
constexpr int MAX_RATE = 5;  // pictures per second asked of the compositor

}  // namespace

PortalScreenSource::PortalScreenSource(std::function<void(std::string_view)> notice)
    : notice_(std::move(notice)) {}

PortalScreenSource::~PortalScreenSource() {
    thread_.join();
    frames_.reset();
    windows_.reset();
    stream_.reset();  // before the session it belongs to
    if (bus_ && session_) bus_->closeSession(*session_);
}

std::variant<ShareableContent, Failure> PortalScreenSource::content() {
    auto connected = GioPortalBus::connect();
    if (auto* failure = std::get_if<Failure>(&connected)) return *failure;
    bus_ = std::move(std::get<std::unique_ptr<GioPortalBus>>(connected));
    FileTokenStore tokens(restoreTokenPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
    ScreenCastPortal portal(*bus_, tokens, notice_);
    auto opened = portal.open();
    if (auto* failure = std::get_if<Failure>(&opened)) return *failure;
    SharedScreen& shared = std::get<SharedScreen>(opened);
    session_ = shared.session;
    area_ = shared.area;
    bus_->watchSession(shared.session, [this] { thread_.end("Screen sharing was stopped"); });

    auto stream =
        PipeWireStream::open(std::move(shared.remote), shared.node, MAX_RATE, FORMAT_LIMIT);
    if (auto* failure = std::get_if<Failure>(&stream)) return *failure;
    stream_ = std::move(std::get<std::unique_ptr<PipeWireStream>>(stream));
    stream_->onEnded([this](const std::string& why) { thread_.end(why); });
    return ShareableContent{{{shared.node, stream_->width(), stream_->height()}}, shared.node};
}

std::optional<Failure> PortalScreenSource::start(const CaptureConfig& config,
                                                 FrameReceiver& receiver) {
    if (!stream_) return Failure{"No screen found"};
    // At one monitor and scale 1 the monitor's desktop rectangle is the stream's picture.
    const Rect area = area_.value_or(Rect{0, 0, stream_->width(), stream_->height()});
    windows_ = XWaylandWindows::open(config.hides);
    auto covers = [this, area](int width, int height) -> std::vector<Rect> {
        if (!windows_) return {};
        const auto stack = windows_->read();
        if (!stack) {
            windows_.reset();  // XWayland went away, and its windows with it
            return {};
        }
        return toFrame(coverRects(*stack, area), area, width, height);
    };
    const auto interval = std::chrono::duration_cast<StreamFrames::Clock::duration>(
        std::chrono::duration<double>(config.minFrameInterval));
    frames_ = std::make_unique<StreamFrames>(*stream_, config.width, config.height, interval,
                                             std::move(covers));
    stream_->onPicture([this] { thread_.wake(); });
    return thread_.start(
        [this, &receiver](CaptureThread::Clock::time_point now) {
            return frames_->pass(receiver, now);
        },
        receiver);
}

void PortalScreenSource::stop(std::function<void()> done) {
    thread_.stop(std::move(done));
}

}  // namespace hc
