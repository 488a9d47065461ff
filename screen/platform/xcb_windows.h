// The top-level windows of an X screen, bottom to top, with whether each belongs to a hidden
// application. Used from the capture thread only.
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "overlay.h"

namespace hc::xcb {

class WindowStack {
  public:
    using Hides = std::function<bool(std::string_view applicationId)>;
    WindowStack(xcb_connection_t* c, xcb_window_t root, Hides hides)
        : c_(c), root_(root), hides_(std::move(hides)) {}

    // The viewable top-level windows that name an application (WM_CLASS, on the window or,
    // under a window manager's frame, on a window inside it). Windows that name none (such
    // as a compositor's overlay) neither hide nor cover anything.
    std::vector<StackedWindow> read();

  private:
    // Whether a top-level window belongs to a hidden application; nothing when it names none.
    std::optional<bool> classify(xcb_window_t window);
    std::optional<bool> classifyTree(xcb_window_t window, int depth);

    xcb_connection_t* c_;
    xcb_window_t root_;
    Hides hides_;
    // Top-level windows keep their application: remembered while they exist.
    std::unordered_map<xcb_window_t, std::optional<bool>> known_;
};

// The identifiers in a WM_CLASS value ("instance\0class\0"); empty when there are none.
std::vector<std::string> splitWmClass(std::string_view value);

}  // namespace hc::xcb
