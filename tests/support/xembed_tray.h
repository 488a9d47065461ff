// An X11 system tray for tests (the XEmbed tray protocol's manager side): it owns the tray
// selection of screen 0 on a display, announces itself, and records the icon windows that ask
// to dock. It embeds nothing; a test reads what docked. No Qt. Not thread-safe.
#pragma once

#include <xcb/xcb.h>

#include <string>
#include <vector>

namespace qv::test {

class XembedTray {
  public:
    explicit XembedTray(const std::string& display);
    ~XembedTray();
    XembedTray(const XembedTray&) = delete;
    XembedTray& operator=(const XembedTray&) = delete;

    bool running() const { return owner_ != 0; }
    // Reads the dock requests that arrived; call it while waiting.
    void pump();
    // The icon windows that asked to dock, in order.
    const std::vector<xcb_window_t>& docked() const { return docked_; }
    // Whether the window still exists.
    bool exists(xcb_window_t window);

  private:
    xcb_atom_t atom(const char* name);
    xcb_connection_t* c_ = nullptr;
    xcb_window_t owner_ = 0;
    xcb_atom_t opcode_ = XCB_ATOM_NONE;
    std::vector<xcb_window_t> docked_;
};

}  // namespace qv::test
