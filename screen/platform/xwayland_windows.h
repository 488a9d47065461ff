// On a Wayland desktop, the windows of X11 applications live on XWayland. This finds the
// hidden applications' windows there, so that the portal's picture can be painted over where
// they show. Used from the capture thread only.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "overlay.h"
#include "platform/xcb_support.h"
#include "platform/xcb_windows.h"

namespace hc {

class XWaylandWindows {
  public:
    // The X server named by DISPLAY; null when there is none to reach (a desktop without
    // XWayland has no X windows to hide).
    static std::unique_ptr<XWaylandWindows> open(xcb::WindowStack::Hides hides);

    // The top-level windows, bottom to top, in the desktop's coordinates; nothing once the
    // connection is lost.
    std::optional<std::vector<StackedWindow>> read();

  private:
    XWaylandWindows(xcb::Connection connection, xcb_window_t root, xcb::WindowStack::Hides hides);
    xcb::Connection connection_;
    xcb::WindowStack stack_;
};

}  // namespace hc
