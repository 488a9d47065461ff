#include "platform/xcb_capture.h"

#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/xfixes.h>

#include <algorithm>

#include "platform/xcb_support.h"

namespace hc::xcb {

namespace {

// At most this many rectangles are grabbed and scaled for one frame; more are merged.
constexpr std::size_t MAX_RECTS = 16;
// How often the monitors are read again, besides when RandR says the screen changed (a
// monitor set with `xrandr --setmonitor` sends no event).
constexpr std::chrono::seconds MONITOR_CHECK{1};

double seconds(Capture::Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

std::string describe(const Rect& r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) +
           "+" + std::to_string(r.y);
}

}  // namespace

// Damage reports on the root window (which includes every window on it): one event when the
// screen first changes, none after that until take() collects what changed.
class DamageWatch {
  public:
    static std::unique_ptr<DamageWatch> create(xcb_connection_t* c, xcb_window_t root) {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
        if (ext == nullptr || !ext->present) return nullptr;
        Owned<xcb_damage_query_version_reply_t> version(
            xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        if (!version) return nullptr;
        const xcb_damage_damage_t id = xcb_generate_id(c);
        xcb_damage_create(c, id, root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
        // The changed rectangles come through an XFixes region; without XFixes, any change
        // counts as the whole screen.
        xcb_xfixes_region_t region = XCB_NONE;
        const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (fixes != nullptr && fixes->present) {
            Owned<xcb_xfixes_query_version_reply_t> v(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
            if (v && v->major_version >= 2) {
                region = xcb_generate_id(c);
                xcb_xfixes_create_region(c, region, 0, nullptr);
            }
        }
        return std::unique_ptr<DamageWatch>(new DamageWatch(c, id, region, ext->first_event));
    }
    ~DamageWatch() {
        xcb_damage_destroy(c_, id_);
        if (region_ != XCB_NONE) xcb_xfixes_destroy_region(c_, region_);
    }

    bool isNotify(const xcb_generic_event_t& e) const {
        return (e.response_type & 0x7f) == firstEvent_ + XCB_DAMAGE_NOTIFY;
    }

    // What changed since the previous call, in screen coordinates; asks for the next change.
    std::vector<Rect> take() {
        if (region_ == XCB_NONE) {
            xcb_damage_subtract(c_, id_, XCB_NONE, XCB_NONE);
            return {{0, 0, 65535, 65535}};
        }
        xcb_damage_subtract(c_, id_, XCB_NONE, region_);
        Owned<xcb_xfixes_fetch_region_reply_t> reply(
            xcb_xfixes_fetch_region_reply(c_, xcb_xfixes_fetch_region(c_, region_), nullptr));
        if (!reply) return {{0, 0, 65535, 65535}};
        std::vector<Rect> rects;
        const xcb_rectangle_t* r = xcb_xfixes_fetch_region_rectangles(reply.get());
        const int n = xcb_xfixes_fetch_region_rectangles_length(reply.get());
        for (int i = 0; i < n; ++i) rects.push_back({r[i].x, r[i].y, r[i].width, r[i].height});
        return rects;
    }

  private:
    DamageWatch(xcb_connection_t* c, xcb_damage_damage_t id, xcb_xfixes_region_t region,
                uint8_t firstEvent)
        : c_(c), id_(id), region_(region), firstEvent_(firstEvent) {}
    xcb_connection_t* c_;
    xcb_damage_damage_t id_;
    xcb_xfixes_region_t region_;
    uint8_t firstEvent_;
};

std::vector<Monitor> readMonitors(xcb_connection_t* c, const xcb_screen_t& screen) {
    // The root's size now: the connection's setup keeps the size it had when we connected.
    Rect root{0, 0, screen.width_in_pixels, screen.height_in_pixels};
    Owned<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, screen.root), nullptr));
    if (geometry) root = {0, 0, geometry->width, geometry->height};
    const Monitor whole{0, root, true};
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_randr_id);
    if (ext == nullptr || !ext->present) return {whole};
    Owned<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 5))
        return {whole};  // no monitors before RandR 1.5: the screen is the one display
    Owned<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen.root, 1), nullptr));
    if (!reply) return {whole};
    std::vector<Monitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& m = *it.data;
        const Rect rect = intersect({m.x, m.y, m.width, m.height}, root);
        if (!rect.empty()) monitors.push_back({m.name, rect, m.primary != 0});
    }
    return monitors;
}

std::optional<Monitor> mainMonitor(const std::vector<Monitor>& monitors) {
    for (const Monitor& m : monitors)
        if (m.primary) return m;
    if (monitors.empty()) return std::nullopt;
    return monitors.front();
}

Capture::Capture(xcb_connection_t* c, const xcb_screen_t& screen, const CaptureConfig& config)
    : c_(c),
      screen_(screen),
      width_(config.width),
      height_(config.height),
      windows_(c, screen.root, config.hides),
      damage_(DamageWatch::create(c, screen.root)),
      cursor_(config.showsCursor ? CursorWatch::create(c) : nullptr) {
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr != nullptr && randr->present) {
        randrEvent_ = randr->first_event;
        xcb_randr_select_input(c, screen.root,
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
}

Capture::~Capture() = default;

std::variant<std::unique_ptr<Capture>, Failure> Capture::create(xcb_connection_t* c,
                                                                const xcb_screen_t& screen,
                                                                const Rect& area,
                                                                const CaptureConfig& config) {
    std::unique_ptr<Capture> capture(new Capture(c, screen, config));
    if (auto failure = capture->follow(area)) return *failure;
    capture->nextMonitorCheck_ = Clock::now() + MONITOR_CHECK;
    return capture;
}

// Records `area` from now on: a fresh image, scaler and picture; the next frame is whole.
std::optional<Failure> Capture::follow(const Rect& area) {
    auto grabber = Grabber::create(c_, screen_, area);
    if (auto* failure = std::get_if<Failure>(&grabber)) return *failure;
    grabber_.emplace(std::move(std::get<Grabber>(grabber)));
    const Rect target = fitInto(area.width, area.height, width_, height_);
    scaler_.emplace(area.width, area.height, target);
    cells_.emplace(area.width, area.height);
    picture_ = std::make_shared<Picture>(width_, height_);
    picture_->fill(16, 128, 128);  // black around a screen of another shape
    whole_ = true;
    pending_.clear();
    covers_.clear();
    drawnCursor_ = {};
    return std::nullopt;
}

void Capture::followTheMainMonitor(FrameReceiver& receiver) {
    const std::optional<Monitor> main = mainMonitor(readMonitors(c_, screen_));
    if (!main || !grabber_ || main->rect == grabber_->area()) return;
    const Rect before = grabber_->area();
    if (follow(main->rect)) return;  // the pixel format does not change: not expected
    receiver.displayChanged("screen changed: recording the main display at " +
                            describe(main->rect) + " (was " + describe(before) +
                            "), scaled into the video's " + std::to_string(width_) + "x" +
                            std::to_string(height_));
}

void Capture::readEvents() {
    while (Owned<xcb_generic_event_t> e{xcb_poll_for_event(c_)}) {
        if (damage_ && damage_->isNotify(*e)) damaged_ = true;
        const int type = e->response_type & 0x7f;
        if (randrEvent_ != 0 && (type == randrEvent_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                 type == randrEvent_ + XCB_RANDR_NOTIFY))
            checkMonitors_ = true;
    }
}

Rect Capture::cursorRect() const {
    if (!cursor_) return {};
    const CursorImage& image = cursor_->image();
    const Rect& area = grabber_->area();
    return {cursor_->x() - image.hotX - area.x, cursor_->y() - image.hotY - area.y, image.width,
            image.height};
}

// The rectangles (area coordinates) to bring up to date: what the server reports as damaged,
// hidden windows that moved, the cursor's old and new place. Collecting them asks the server
// for the next change, so that what changes while grabbing is reported for the next frame.
std::vector<Rect> Capture::changedRects() {
    const Rect& area = grabber_->area();
    const Rect all{0, 0, area.width, area.height};
    std::vector<Rect> rects = std::move(pending_);
    pending_.clear();
    if (damaged_) {
        damaged_ = false;
        for (const Rect& r : damage_->take())
            rects.push_back({r.x - area.x, r.y - area.y, r.width, r.height});
    }
    if (whole_) rects.push_back(all);
    if (!rects.empty()) {
        std::vector<Rect> covers = coverRects(windows_.read(), area);
        if (covers != covers_) {
            rects.insert(rects.end(), covers_.begin(), covers_.end());
            rects.insert(rects.end(), covers.begin(), covers.end());
            covers_ = std::move(covers);
        }
    }
    if (cursorChanged_) {
        rects.push_back(drawnCursor_);
        rects.push_back(cursorRect());
    }
    return simplifyRegion(std::move(rects), all, MAX_RECTS);
}

// Grabs `rects` afresh, paints over hidden windows, draws the cursor and brings the thumbnail
// and the picture up to date there. False when the server refused a grab.
bool Capture::update(const std::vector<Rect>& changed, bool cursorChanged) {
    const Rect& area = grabber_->area();
    const Rect cursor = intersect(cursorRect(), {0, 0, area.width, area.height});
    std::vector<Rect> rects = changed;
    // A grab that touches the cursor wipes it: the whole cursor is grabbed and drawn again.
    const bool drawsCursor =
        cursor_ && (cursorChanged || std::any_of(rects.begin(), rects.end(), [&](const Rect& r) {
                        return !intersect(r, cursor).empty();
                    }));
    if (drawsCursor && !cursor.empty()) rects.push_back(cursor);
    for (const Rect& r : rects)
        if (!grabber_->grab(r)) return false;
    const BgrxImage image = grabber_->image();
    for (const Rect& r : rects) {
        std::vector<Rect> covered;
        for (const Rect& c : covers_) covered.push_back(intersect(c, r));
        paintOver(image, covered);
    }
    if (drawsCursor) {
        drawCursor(image, cursor_->image(), cursor_->x() - area.x, cursor_->y() - area.y);
        drawnCursor_ = cursorRect();
    }
    if (picture_.use_count() > 1) picture_ = std::make_shared<Picture>(*picture_);
    written_.clear();
    for (const Rect& r : rects) {
        cells_->update(image, r);
        const Rect out = scaler_->outputFor(r);
        scaler_->scale(image, *picture_, out);
        if (!out.empty()) written_.push_back(out);
    }
    return true;
}

bool Capture::tick(FrameReceiver& receiver, Clock::time_point now) {
    readEvents();
    if (xcb_connection_has_error(c_)) return false;
    if (checkMonitors_ || now >= nextMonitorCheck_) {
        checkMonitors_ = false;
        nextMonitorCheck_ = now + MONITOR_CHECK;
        followTheMainMonitor(receiver);
    }
    if (cursor_ && cursor_->read()) cursorChanged_ = true;
    if (!damage_) whole_ = true;
    if (xcb_connection_has_error(c_)) return false;
    // A full receiver costs no grab; the changes stay pending for the next frame.
    if (!receiver.wantsFrame()) return true;
    Frame frame{FrameStatus::Idle, seconds(now), nullptr};
    const std::vector<Rect> rects = changedRects();
    if (!rects.empty()) {
        if (!update(rects, cursorChanged_)) {
            // Refused while the screen is being resized: tried again at the next frame, on
            // the monitors as they are then.
            pending_ = rects;
            checkMonitors_ = true;
            return xcb_connection_has_error(c_) == 0;
        }
        cursorChanged_ = false;
        frame.status = FrameStatus::Complete;
        frame.picture = picture_;
        frame.thumbnail = cells_->grey();
        // After a change of monitor the whole picture is new, its black bars included.
        frame.change = whole_ ? PictureChange{} : PictureChange{false, written_};
        whole_ = false;
    }
    receiver.receive(std::move(frame));
    return true;
}

}  // namespace hc::xcb
