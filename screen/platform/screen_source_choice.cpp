// The screen source for the user's session: the portal on Wayland, xcb on X11. On Wayland
// the X server is XWayland, whose root window never shows the desktop, so it is never read.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/portal_screen_source.h"
#include "platform/xcb_screen_source.h"
#include "session_kind.h"

namespace hc {

std::unique_ptr<ScreenSource> makeScreenSource() {
    if (sessionKind(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE")) ==
        SessionKind::Wayland) {
        return std::make_unique<PortalScreenSource>([](std::string_view text) {
            const std::string line = std::string(text) + "\n";
            [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
        });
    }
    return std::make_unique<XcbScreenSource>();
}

}  // namespace hc
