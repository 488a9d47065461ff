#include "platform/xcb_cursor.h"

#include <xcb/xfixes.h>

#include "platform/xcb_support.h"

namespace hc::xcb {

std::unique_ptr<CursorWatch> CursorWatch::create(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (ext == nullptr || !ext->present) return nullptr;
    // XFixes answers nothing before the client has told it which version it speaks.
    Owned<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    if (!version) return nullptr;
    return std::unique_ptr<CursorWatch>(new CursorWatch(c));
}

bool CursorWatch::read() {
    Owned<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(c_, xcb_xfixes_get_cursor_image(c_), nullptr));
    if (!reply) return false;
    const bool changed = reply->x != x_ || reply->y != y_ || reply->cursor_serial != serial_;
    x_ = reply->x;
    y_ = reply->y;
    if (reply->cursor_serial != serial_ || image_.argb.empty()) {
        serial_ = reply->cursor_serial;
        const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
        const int length = xcb_xfixes_get_cursor_image_cursor_image_length(reply.get());
        image_.argb.assign(pixels, pixels + length);
        image_.width = reply->width;
        image_.height = reply->height;
        image_.hotX = reply->xhot;
        image_.hotY = reply->yhot;
    }
    return changed;
}

}  // namespace hc::xcb
