// The one-line notes the agent logs at start about what surrounds it: where screen recordings
// come from, and whether a tray host shows its icon.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <optional>

namespace qv {

// The session's display that `hc-screen record` captures, as the session's variables name it.
QString screenSourceNote(const QProcessEnvironment& env);

// Nothing when a tray host shows the icon; otherwise what the user sees instead. `canEverShow`:
// the icon can appear in this session at all; `hostRunning`: a tray host runs now.
std::optional<QString> trayNote(bool canEverShow, bool hostRunning);

}  // namespace qv
