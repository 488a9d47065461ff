#include "platform/xcb_screen_source.h"

#include <xcb/damage.h>
#include <xcb/randr.h>

#include <chrono>

#include "platform/frame_scaler.h"
#include "platform/xcb_cursor.h"
#include "platform/xcb_grabber.h"
#include "platform/xcb_windows.h"

namespace hc {

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Damage reports on the root window (which includes every window on it): one event when the
// screen first changes, none after that until reset() asks for the next change.
class DamageWatch {
  public:
    static std::unique_ptr<DamageWatch> create(xcb_connection_t* c, xcb_window_t root) {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
        if (ext == nullptr || !ext->present) return nullptr;
        xcb::Owned<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        if (!version) return nullptr;
        const xcb_damage_damage_t id = xcb_generate_id(c);
        xcb_damage_create(c, id, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        return std::unique_ptr<DamageWatch>(new DamageWatch(c, id, ext->first_event));
    }
    ~DamageWatch() { xcb_damage_destroy(c_, id_); }

    bool isNotify(const xcb_generic_event_t& e) const {
        return (e.response_type & 0x7f) == firstEvent_ + XCB_DAMAGE_NOTIFY;
    }
    void reset() { xcb_damage_subtract(c_, id_, XCB_NONE, XCB_NONE); }

  private:
    DamageWatch(xcb_connection_t* c, xcb_damage_damage_t id, uint8_t firstEvent)
        : c_(c), id_(id), firstEvent_(firstEvent) {}
    xcb_connection_t* c_;
    xcb_damage_damage_t id_;
    uint8_t firstEvent_;
};

}  // namespace

// Everything one capture needs, touched by the capture thread only.
class XcbScreenSource::Capture {
  public:
    Capture(xcb_connection_t* c, xcb_window_t root, Rect area, xcb::Grabber grabber,
            FrameScaler scaler, const CaptureConfig& config)
        : c_(c),
          area_(area),
          width_(config.width),
          height_(config.height),
          grabber_(std::move(grabber)),
          scaler_(std::move(scaler)),
          windows_(c, root, config.hides),
          damage_(DamageWatch::create(c, root)),
          cursor_(config.showsCursor ? xcb::CursorWatch::create(c) : nullptr) {}

    // One frame interval: delivers an idle or a complete frame, or nothing while the receiver
    // is full. False once the connection to the server is lost.
    bool tick(FrameReceiver& receiver, Clock::time_point now);

  private:
    void readEvents();
    std::shared_ptr<Picture> picture();

    xcb_connection_t* c_;
    Rect area_;
    int width_;
    int height_;
    xcb::Grabber grabber_;
    FrameScaler scaler_;
    xcb::WindowStack windows_;
    std::unique_ptr<DamageWatch> damage_;  // none: every frame counts as complete
    std::unique_ptr<xcb::CursorWatch> cursor_;
    bool changed_ = true;  // a change not yet delivered (the first frame is always complete)
};

void XcbScreenSource::Capture::readEvents() {
    while (xcb::Owned<xcb_generic_event_t> e{xcb_poll_for_event(c_)}) {
        if (damage_ && damage_->isNotify(*e)) changed_ = true;
    }
}

bool XcbScreenSource::Capture::tick(FrameReceiver& receiver, Clock::time_point now) {
    readEvents();
    if (cursor_ && cursor_->read()) changed_ = true;
    if (!damage_) changed_ = true;
    if (xcb_connection_has_error(c_)) return false;
    // A full receiver costs no grab; the change stays pending for the next frame.
    if (!receiver.wantsFrame()) return true;
    Frame frame{FrameStatus::Idle, seconds(now), nullptr};
    if (changed_) {
        // Reset before grabbing: what changes during the grab is reported for the next frame.
        if (damage_) damage_->reset();
        frame.picture = picture();
        if (!frame.picture) return xcb_connection_has_error(c_) == 0;
        frame.status = FrameStatus::Complete;
        changed_ = false;
    }
    receiver.receive(std::move(frame));
    return true;
}

std::shared_ptr<Picture> XcbScreenSource::Capture::picture() {
    const std::optional<BgrxImage> image = grabber_.grab();
    if (!image) return nullptr;
    paintOver(*image, coverRects(windows_.read(), area_));
    if (cursor_)
        drawCursor(*image, cursor_->image(), cursor_->x() - area_.x, cursor_->y() - area_.y);
    auto picture = std::make_shared<Picture>(width_, height_);
    scaler_.scale(*image, *picture);
    return picture;
}

XcbScreenSource::XcbScreenSource() = default;

XcbScreenSource::~XcbScreenSource() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::vector<XcbScreenSource::Monitor> XcbScreenSource::readMonitors() const {
    xcb_connection_t* c = connection_.get();
    const Monitor whole{0, {0, 0, screen_->width_in_pixels, screen_->height_in_pixels}, true};
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (ext == nullptr || !ext->present) return {whole};
    xcb::Owned<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 5))
        return {whole};  // no monitors before RandR 1.5: the screen is the one display
    xcb::Owned<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen_->root, 1), nullptr));
    if (!reply) return {whole};
    std::vector<Monitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& m = *it.data;
        const Rect rect = intersect({m.x, m.y, m.width, m.height},
                                    {0, 0, screen_->width_in_pixels, screen_->height_in_pixels});
        if (!rect.empty()) monitors.push_back({m.name, rect, m.primary != 0});
    }
    return monitors;
}

std::variant<ShareableContent, Failure> XcbScreenSource::content() {
    if (!connection_) {
        xcb::Opened opened = xcb::openDisplay();
        if (!opened.connection) return Failure{opened.error};
        connection_ = std::move(opened.connection);
        screen_ = opened.screen;
    }
    monitors_ = readMonitors();
    ShareableContent content;
    for (const Monitor& m : monitors_) {
        content.displays.push_back({m.id, m.rect.width, m.rect.height});
        if (m.primary && !content.mainId) content.mainId = m.id;
    }
    return content;
}

std::optional<Failure> XcbScreenSource::start(const CaptureConfig& config,
                                              FrameReceiver& receiver) {
    const Monitor* monitor = nullptr;
    for (const Monitor& m : monitors_)
        if (m.id == config.display.id) monitor = &m;
    if (!connection_ || monitor == nullptr) return Failure{"No screen found"};
    xcb_connection_t* c = connection_.get();
    auto grabber = xcb::Grabber::create(c, *screen_, monitor->rect);
    if (auto* failure = std::get_if<Failure>(&grabber)) return *failure;
    FrameScaler scaler(monitor->rect.width, monitor->rect.height, config.width, config.height);
    if (!scaler.valid()) return Failure{"Cannot scale the screen to the frame size"};
    capture_ = std::make_unique<Capture>(c, screen_->root, monitor->rect,
                                         std::move(std::get<xcb::Grabber>(grabber)),
                                         std::move(scaler), config);
    xcb_flush(c);
    std::lock_guard lock(mutex_);
    if (stopping_) return std::nullopt;  // asked to stop already: nothing to start
    running_ = true;
    thread_ = std::thread([this, &receiver, interval = config.minFrameInterval] {
        run(*capture_, receiver, interval);
    });
    return std::nullopt;
}

void XcbScreenSource::run(Capture& capture, FrameReceiver& receiver, double interval) {
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
