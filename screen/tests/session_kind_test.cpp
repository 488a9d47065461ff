// Which capture serves the session.
#include <gtest/gtest.h>

#include "session_kind.h"

namespace hc {
namespace {

TEST(SessionKind, WaylandWhenTheSessionHasAWaylandDisplayOrSaysSo) {
    struct Case {
        const char* waylandDisplay;
        const char* sessionType;
        SessionKind expected;
    };
    const Case cases[] = {
        {"wayland-0", nullptr, SessionKind::Wayland}, {"wayland-0", "x11", SessionKind::Wayland},
        {nullptr, "wayland", SessionKind::Wayland},   {"", "wayland", SessionKind::Wayland},
        {nullptr, nullptr, SessionKind::X11},         {"", nullptr, SessionKind::X11},
        {nullptr, "x11", SessionKind::X11},           {nullptr, "tty", SessionKind::X11},
        {nullptr, "Wayland", SessionKind::X11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sessionKind(c.waylandDisplay, c.sessionType), c.expected)
            << (c.waylandDisplay ? c.waylandDisplay : "(unset)") << " / "
            << (c.sessionType ? c.sessionType : "(unset)");
    }
}

}  // namespace
}  // namespace hc
