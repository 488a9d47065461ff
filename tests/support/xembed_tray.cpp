#include "support/xembed_tray.h"

#include <cstdlib>
#include <cstring>

namespace qv::test {

XembedTray::XembedTray(const std::string& display) {
    c_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c_)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    const xcb_atom_t selection = atom("_NET_SYSTEM_TRAY_S0");
    opcode_ = atom("_NET_SYSTEM_TRAY_OPCODE");
    const xcb_window_t w = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const uint32_t horizontal = 0;
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, atom("_NET_SYSTEM_TRAY_ORIENTATION"),
                        XCB_ATOM_CARDINAL, 32, 1, &horizontal);
    xcb_set_selection_owner(c_, w, selection, XCB_CURRENT_TIME);

    // The announcement clients wait for when they started before the tray.
    xcb_client_message_event_t manager;
    std::memset(&manager, 0, sizeof manager);
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = screen->root;
    manager.type = atom("MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = w;
    xcb_send_event(c_, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&manager));
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    owner_ = w;
}

XembedTray::~XembedTray() {
    if (c_) xcb_disconnect(c_);
}

xcb_atom_t XembedTray::atom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(r);
    return a;
}

void XembedTray::pump() {
    if (!owner_) return;
    while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
        if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            // Opcode 0 is SYSTEM_TRAY_REQUEST_DOCK; the icon's window is the third word.
            if (m->type == opcode_ && m->data.data32[1] == 0) docked_.push_back(m->data.data32[2]);
        }
        std::free(e);
    }
}

bool XembedTray::exists(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* r =
        xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr);
    std::free(r);
    return r != nullptr;
}

}  // namespace qv::test
