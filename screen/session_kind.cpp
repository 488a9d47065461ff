#include "session_kind.h"

#include <string_view>

namespace hc {

SessionKind sessionKind(const char* waylandDisplay, const char* sessionType) {
    if (waylandDisplay != nullptr && *waylandDisplay != '\0') return SessionKind::Wayland;
    if (sessionType != nullptr && std::string_view(sessionType) == "wayland")
        return SessionKind::Wayland;
    return SessionKind::X11;
}

}  // namespace hc
