#include "platform/portal_screen_source.h"

#include <chrono>
#include <cstdlib>

#include "platform/gio_portal_bus.h"
#include "platform/pipewire_stream.h"
#include "platform/stream_scaler.h"
#include "platform/xwayland_windows.h"
#include "restore_token.h"
#include "screencast_portal.h"
#include "stream_cover.h"

namespace hc {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto FORMAT_LIMIT = std::chrono::seconds(15);
constexpr int MAX_RATE = 5;  // pictures per second asked of the compositor

double seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

}  // namespace

// Everything one capture needs, touched by the capture thread only.
class PortalScreenSource::Capture {
  public:
    Capture(PipeWireStream& stream, Rect area, const CaptureConfig& config)
        : stream_(stream),
          area_(area),
          scaler_(config.width, config.height),
          windows_(XWaylandWindows::open(config.hides)) {}

    // One frame interval: the newest picture as a complete frame, or an idle frame.
    void tick(FrameReceiver& receiver, Clock::time_point now) {
        if (!receiver.wantsFrame()) return;  // the picture stays held for the next frame
        Frame frame{FrameStatus::Idle, seconds(now), nullptr};
        std::shared_ptr<Picture> picture;
        stream_.takeNewest([&](const StreamImage& image) { picture = scaler_.scale(image); });
        if (picture) {
            cover(*picture);
            frame.status = FrameStatus::Complete;
            frame.picture = std::move(picture);
        }
        receiver.receive(std::move(frame));
    }

  private:
    void cover(Picture& picture) {
        if (!windows_) return;
        const auto stack = windows_->read();
        if (!stack) {
            windows_.reset();  // XWayland went away, and its windows with it
            return;
        }
        paintOver(picture,
                  toFrame(coverRects(*stack, area_), area_, picture.width(), picture.height()));
    }

    PipeWireStream& stream_;
    Rect area_;
    StreamScaler scaler_;
    std::unique_ptr<XWaylandWindows> windows_;
};

PortalScreenSource::PortalScreenSource(std::function<void(std::string_view)> notice)
    : notice_(std::move(notice)) {}

PortalScreenSource::~PortalScreenSource() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    capture_.reset();
    stream_.reset();
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
    bus_->watchSession(shared.session, [this] { end("Screen sharing was stopped"); });

    auto stream =
        PipeWireStream::open(std::move(shared.remote), shared.node, MAX_RATE, FORMAT_LIMIT);
    if (auto* failure = std::get_if<Failure>(&stream)) return *failure;
    stream_ = std::move(std::get<std::unique_ptr<PipeWireStream>>(stream));
    stream_->onEnded([this](const std::string& why) { end(why); });
    return ShareableContent{{{shared.node, stream_->width(), stream_->height()}}, shared.node};
}

std::optional<Failure> PortalScreenSource::start(const CaptureConfig& config,
                                                 FrameReceiver& receiver) {
    if (!stream_) return Failure{"No screen found"};
    // At one monitor and scale 1 the monitor's desktop rectangle is the stream's picture.
    const Rect area = area_.value_or(Rect{0, 0, stream_->width(), stream_->height()});
    capture_ = std::make_unique<Capture>(*stream_, area, config);
    std::lock_guard lock(mutex_);
    if (!endedWhy_.empty()) return Failure{endedWhy_};
    if (stopping_) return std::nullopt;  // asked to stop already: nothing to start
    running_ = true;
    thread_ = std::thread([this, &receiver, interval = config.minFrameInterval] {
        run(*capture_, receiver, interval);
    });
    return std::nullopt;
}

void PortalScreenSource::run(Capture& capture, FrameReceiver& receiver, double interval) {
    const auto step =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval));
    std::string ended;
    for (auto next = Clock::now();;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, next, [this] { return stopping_ || !endedWhy_.empty(); });
            if (stopping_) break;
            if (!endedWhy_.empty()) {
                ended = endedWhy_;
                break;
            }
        }
        // Ticks start at least one interval apart, so frames never come faster than that.
        const auto now = Clock::now();
        capture.tick(receiver, now);
        next = now + step;
    }
    std::function<void()> done;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        done = std::move(whenStopped_);
    }
    if (done) done();
    if (!ended.empty()) receiver.stopped(ended);
}

void PortalScreenSource::end(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (!endedWhy_.empty()) return;
        endedWhy_ = why;
    }
    wake_.notify_all();
}

void PortalScreenSource::stop(std::function<void()> done) {
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
