// Draws on a test's X server through xcb: plain windows with a colour and an application
// identity, the root's colour, the pointer. Every call returns once the server has done it.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>

#include "overlay.h"

namespace hc::test {

class XScene {
  public:
    explicit XScene(const std::string& display);
    ~XScene();
    XScene(const XScene&) = delete;
    XScene& operator=(const XScene&) = delete;

    bool connected() const { return screen_ != nullptr; }
    int width() const { return screen_->width_in_pixels; }
    int height() const { return screen_->height_in_pixels; }

    // A mapped top-level window filled with `rgb` (0xRRGGBB) and, unless `wmClass` is empty,
    // that WM_CLASS value ("instance" NUL "class" NUL). Later windows lie above earlier ones.
    xcb_window_t window(const Rect& r, std::uint32_t rgb, const std::string& wmClass = {});
    void fill(xcb_window_t window, std::uint32_t rgb);
    void fillRoot(std::uint32_t rgb) { fill(screen_->root, rgb); }
    void movePointer(int x, int y);

  private:
    void sync();

    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

// The WM_CLASS value of an application with this identifier.
inline std::string wmClassOf(const std::string& id) {
    return std::string("app") + '\0' + id + '\0';
}

}  // namespace hc::test
