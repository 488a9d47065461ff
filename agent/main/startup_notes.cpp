#include "main/startup_notes.h"

namespace qv {

QString screenSourceNote(const QProcessEnvironment& env) {
    const QString wayland = env.value(QStringLiteral("WAYLAND_DISPLAY"));
    const QString x11 = env.value(QStringLiteral("DISPLAY"));
    if (!wayland.isEmpty() || env.value(QStringLiteral("XDG_SESSION_TYPE")) == "wayland") {
        return QStringLiteral(
                   "screen source: the Wayland session %1, shared through the desktop's "
                   "screen-cast portal")
            .arg(wayland.isEmpty() ? QStringLiteral("(no WAYLAND_DISPLAY)") : wayland);
    }
    if (!x11.isEmpty()) return QStringLiteral("screen source: the X11 display %1").arg(x11);
    return QStringLiteral(
        "screen source: none, no display is named: recordings with the screen "
        "will fail");
}

std::optional<QString> trayNote(bool canEverShow, bool hostRunning) {
    if (!canEverShow) {
        return QStringLiteral(
            "no tray host: running without a tray icon (on GNOME, the "
            "AppIndicator extension shows it); the page is at http://localhost:8765/");
    }
    if (!hostRunning)
        return QStringLiteral("no tray host yet: the tray icon appears when one starts");
    return std::nullopt;
}

}  // namespace qv
