#include "platform/xcb_grabber.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

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

namespace {

std::optional<Failure> checkPixelFormat(xcb_connection_t* c, const xcb_screen_t& screen) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    int bits = 0;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == screen.root_depth) bits = it.data->bits_per_pixel;
    }
    if (bits == 32 && setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) return std::nullopt;
    return Failure{"Unsupported screen pixel format (depth " + std::to_string(screen.root_depth) +
                   ", " + std::to_string(bits) + " bits per pixel)"};
}

}  // namespace

std::variant<Grabber, Failure> Grabber::create(xcb_connection_t* c, const xcb_screen_t& screen,
                                               const Rect& area) {
    if (auto failure = checkPixelFormat(c, screen)) return *failure;
    Grabber grabber(c, screen.root, area);
    const std::size_t size = static_cast<std::size_t>(area.width) * area.height * 4;
    grabber.shm_ = ShmSegment::create(c, size);
    if (!grabber.shm_) grabber.buffer_.resize(size);
    return grabber;
}

std::optional<BgrxImage> Grabber::grab() {
    const auto x = static_cast<int16_t>(area_.x);
    const auto y = static_cast<int16_t>(area_.y);
    const auto w = static_cast<uint16_t>(area_.width);
    const auto h = static_cast<uint16_t>(area_.height);
    const BgrxImage image{shm_ ? shm_->data() : buffer_.data(), area_.width, area_.height,
                          area_.width * 4};
    if (shm_) {
        const auto cookie =
            xcb_shm_get_image(c_, root_, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shm_->id(), 0);
        Owned<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c_, cookie, nullptr));
        if (!reply) return std::nullopt;
        return image;
    }
    const auto cookie = xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x, y, w, h, ~0u);
    Owned<xcb_get_image_reply_t> reply(xcb_get_image_reply(c_, cookie, nullptr));
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < buffer_.size())
        return std::nullopt;
    std::memcpy(buffer_.data(), xcb_get_image_data(reply.get()), buffer_.size());
    return image;
}

}  // namespace hc::xcb
