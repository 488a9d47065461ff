#include "x_scene.h"

#include <cstdlib>

namespace hc::test {

XScene::XScene(const std::string& display) {
    c_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c_)) return;
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
}

XScene::~XScene() {
    xcb_disconnect(c_);
}

void XScene::sync() {
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

xcb_window_t XScene::window(const Rect& r, std::uint32_t rgb, const std::string& wmClass) {
    const xcb_window_t w = xcb_generate_id(c_);
    const uint32_t values[] = {rgb, 1};  // background pixel, override redirect
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen_->root, static_cast<int16_t>(r.x),
                      static_cast<int16_t>(r.y), static_cast<uint16_t>(r.width),
                      static_cast<uint16_t>(r.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen_->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    if (!wmClass.empty()) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(wmClass.size()), wmClass.data());
    }
    xcb_map_window(c_, w);
    sync();
    return w;
}

void XScene::fill(xcb_window_t window, std::uint32_t rgb) {
    xcb_change_window_attributes(c_, window, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(c_, 0, window, 0, 0, 0, 0);
    sync();
}

void XScene::movePointer(int x, int y) {
    xcb_warp_pointer(c_, XCB_NONE, screen_->root, 0, 0, 0, 0, static_cast<int16_t>(x),
                     static_cast<int16_t>(y));
    sync();
}

}  // namespace hc::test
