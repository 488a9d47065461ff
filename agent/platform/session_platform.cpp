#include "platform/session_platform.h"

#include <cstdio>

#include "platform/display_access.h"

namespace qv {

PlatformChoice choosePlatform(const std::function<QByteArray(const char*)>& env,
                              const std::function<bool()>& displayOpens) {
    if (!env("QT_QPA_PLATFORM").isEmpty()) return {};
    const bool wayland = !env("WAYLAND_DISPLAY").isEmpty() ||
                         env("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
    if (!wayland) return {};
    if (!env("DISPLAY").isEmpty() && displayOpens()) return {QByteArrayLiteral("xcb"), {}};
    return {{},
            QStringLiteral("quorvia: Wayland session without XWayland: running as a Wayland "
                           "client; the compositor places the prompt and the meeting card")};
}

PlatformChoice platformForThisSession() {
    const PlatformChoice choice =
        choosePlatform([](const char* name) { return qgetenv(name); }, displayOpens);
    if (!choice.note.isEmpty()) std::fprintf(stderr, "%s\n", qPrintable(choice.note));
    return choice;
}

QtArguments::QtArguments(int argc, char** argv, const QByteArray& platform) {
    for (int i = 0; i < argc; ++i) strings_.emplace_back(argv[i]);
    if (!platform.isEmpty()) {
        strings_.emplace_back("-platform");
        strings_.push_back(platform);
    }
    for (QByteArray& s : strings_) pointers_.push_back(s.data());
    argc_ = int(strings_.size());
    pointers_.push_back(nullptr);
}

}  // namespace qv
