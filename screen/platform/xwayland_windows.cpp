#include "platform/xwayland_windows.h"

namespace hc {

std::unique_ptr<XWaylandWindows> XWaylandWindows::open(xcb::WindowStack::Hides hides) {
    xcb::Opened opened = xcb::openDisplay();
    if (!opened.connection) return nullptr;
    const xcb_window_t root = opened.screen->root;
    return std::unique_ptr<XWaylandWindows>(
        new XWaylandWindows(std::move(opened.connection), root, std::move(hides)));
}

XWaylandWindows::XWaylandWindows(xcb::Connection connection, xcb_window_t root,
                                 xcb::WindowStack::Hides hides)
    : connection_(std::move(connection)), stack_(connection_.get(), root, std::move(hides)) {}

std::optional<std::vector<StackedWindow>> XWaylandWindows::read() {
    if (xcb_connection_has_error(connection_.get())) return std::nullopt;
    std::vector<StackedWindow> windows = stack_.read();
    if (xcb_connection_has_error(connection_.get())) return std::nullopt;
    return windows;
}

}  // namespace hc
