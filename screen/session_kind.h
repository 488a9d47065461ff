// Which screen-capture service serves the user's session.
#pragma once

namespace hc {

enum class SessionKind {
    X11,      // the X server's screen, through xcb
    Wayland,  // the compositor's screen, through the ScreenCast portal and PipeWire
};

// A Wayland session is one with a Wayland display (WAYLAND_DISPLAY set and not empty) or one
// that says so (XDG_SESSION_TYPE=wayland); its X server, if any, is XWayland, whose root
// window shows nothing of the desktop. Takes the variables' values (null when unset).
SessionKind sessionKind(const char* waylandDisplay, const char* sessionType);

}  // namespace hc
