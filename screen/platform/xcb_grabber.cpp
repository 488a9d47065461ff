#include "platform/xcb_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstring>
#include <tuple>

#include "platform/xcb_support.h"

namespace hc::xcb {

std::unique_ptr<ShmSegment> ShmSegment::create(xcb_connection_t* c, std::size_t size) {
    // A request of an extension the server lacks would close the connection: ask first.
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (ext == nullptr || !ext->present) return nullptr;
    const auto version = xcb_shm_query_version(c);
    Owned<xcb_shm_query_version_reply_t> supported(
        xcb_shm_query_version_reply(c, version, nullptr));
    if (!supported) return nullptr;
    const int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmid < 0) return nullptr;
    void* data = shmat(shmid, nullptr, 0);
    if (data == reinterpret_cast<void*>(-1)) {
        shmctl(shmid, IPC_RMID, nullptr);
        return nullptr;
    }
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    Owned<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_shm_attach_checked(c, seg, static_cast<uint32_t>(shmid), 0)));
    // Both sides are attached now (or the server refused): the segment goes with the last
    // detach, even if this process is killed.
    shmctl(shmid, IPC_RMID, nullptr);
    if (error) {
        shmdt(data);
        return nullptr;
    }
    return std::unique_ptr<ShmSegment>(new ShmSegment(c, seg, static_cast<std::uint8_t*>(data)));
}

ShmSegment::~ShmSegment() {
    xcb_shm_detach(c_, seg_);
    xcb_flush(c_);
    shmdt(data_);
}

std::variant<PixelLayout, Failure> pixelLayout(xcb_connection_t* c, const xcb_screen_t& screen) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    int bits = 0;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen.root_depth) bits = it.data->bits_per_pixel;
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(&screen); d.rem > 0 && !visual;
         xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen.root_visual) visual = v.data;
        }
    }
    if (bits == 32 && setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST && visual) {
        const auto masks = std::make_tuple(visual->red_mask, visual->green_mask, visual->blue_mask);
        if (masks == std::make_tuple(0xFF0000u, 0xFF00u, 0xFFu)) return PixelLayout::Bgrx8;
        if (masks == std::make_tuple(0x3FF00000u, 0xFFC00u, 0x3FFu)) return PixelLayout::Rgb10;
    }
    char masks[64] = "no visual";
    if (visual)
        std::snprintf(masks, sizeof masks, "red %#x, green %#x, blue %#x", visual->red_mask,
                      visual->green_mask, visual->blue_mask);
    return Failure{"Unsupported screen pixel format (depth " + std::to_string(screen.root_depth) +
                   ", " + std::to_string(bits) + " bits per pixel, " + masks + ")"};
}

std::variant<Grabber, Failure> Grabber::create(xcb_connection_t* c, const xcb_screen_t& screen,
                                               const Rect& area) {
    const auto layout = pixelLayout(c, screen);
    if (const auto* failure = std::get_if<Failure>(&layout)) return *failure;
    Grabber grabber(c, screen.root, area, std::get<PixelLayout>(layout));
    const std::size_t size = static_cast<std::size_t>(area.width) * area.height * 4;
    grabber.shm_ = ShmSegment::create(c, size * 2);
    if (grabber.shm_) {
        grabber.pixels_ = grabber.shm_->data();
    } else {
        grabber.memory_.resize(size * 2);
        grabber.pixels_ = grabber.memory_.data();
    }
    grabber.scratch_ = grabber.pixels_ + size;
    std::fill(grabber.pixels_, grabber.pixels_ + size, std::uint8_t{0});
    return grabber;
}

bool Grabber::fetch(const Rect& r, std::uint8_t* into) {
    const auto x = static_cast<int16_t>(area_.x + r.x);
    const auto y = static_cast<int16_t>(area_.y + r.y);
    const auto w = static_cast<uint16_t>(r.width);
    const auto h = static_cast<uint16_t>(r.height);
    if (shm_) {
        const auto offset = static_cast<uint32_t>(into - shm_->data());
        const auto cookie = xcb_shm_get_image(c_, root_, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                              shm_->id(), offset);
        Owned<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c_, cookie, nullptr));
        return reply != nullptr;
    }
    const auto cookie = xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x, y, w, h, ~0u);
    Owned<xcb_get_image_reply_t> reply(xcb_get_image_reply(c_, cookie, nullptr));
    const std::size_t size = static_cast<std::size_t>(r.width) * r.height * 4;
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < size)
        return false;
    std::memcpy(into, xcb_get_image_data(reply.get()), size);
    return true;
}

bool Grabber::grab(const Rect& rect) {
    const Rect r = intersect(rect, {0, 0, area_.width, area_.height});
    if (r.empty()) return true;
    const std::size_t stride = static_cast<std::size_t>(area_.width) * 4;
    // Whole rows land in place: their layout is the image's.
    if (r.width == area_.width) {
        if (!fetch(r, pixels_ + r.y * stride)) return false;
    } else {
        if (!fetch(r, scratch_)) return false;
        const std::size_t row = static_cast<std::size_t>(r.width) * 4;
        for (int y = 0; y < r.height; ++y)
            std::memcpy(pixels_ + (r.y + y) * stride + r.x * 4, scratch_ + y * row, row);
    }
    if (layout_ == PixelLayout::Rgb10) convert(r);
    return true;
}

// 10 bits per colour to 8, in place.
void Grabber::convert(const Rect& r) {
    for (int y = r.y; y < r.y + r.height; ++y) {
        std::uint8_t* p = pixels_ + (static_cast<std::size_t>(y) * area_.width + r.x) * 4;
        for (int x = 0; x < r.width; ++x, p += 4) {
            std::uint32_t word;
            std::memcpy(&word, p, 4);
            p[0] = static_cast<std::uint8_t>((word >> 2) & 0xFF);
            p[1] = static_cast<std::uint8_t>((word >> 12) & 0xFF);
            p[2] = static_cast<std::uint8_t>((word >> 22) & 0xFF);
            p[3] = 0;
        }
    }
}

}  // namespace hc::xcb
