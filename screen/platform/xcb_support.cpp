#include "platform/xcb_support.h"

namespace hc::xcb {

namespace {

std::string reason(int code) {
    switch (code) {
        case XCB_CONN_ERROR:
            return "cannot connect to the X server";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
            return "an X extension is not supported";
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
            return "out of memory";
        case XCB_CONN_CLOSED_PARSE_ERR:
            return "the display name is not valid";
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            return "the display has no such screen";
        default:
            return "the X connection failed (error " + std::to_string(code) + ")";
    }
}

}  // namespace

Opened openDisplay() {
    Opened opened;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        opened.error = "Cannot open display: DISPLAY is not set";
        return opened;
    }
    int screenNumber = 0;
    Connection c(xcb_connect(name, &screenNumber));
    if (const int code = xcb_connection_has_error(c.get())) {
        opened.error = std::string("Cannot open display \"") + name + "\": " + reason(code);
        return opened;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; it.rem > 0 && i < screenNumber; ++i) xcb_screen_next(&it);
    if (it.rem == 0) {
        opened.error = std::string("Cannot open display \"") + name +
                       "\": " + reason(XCB_CONN_CLOSED_INVALID_SCREEN);
        return opened;
    }
    opened.screen = it.data;
    opened.connection = std::move(c);
    return opened;
}

}  // namespace hc::xcb
