// The applications running in the user's session, as the desktop presents them. Main thread
// only; an implementation answers from state it keeps current, without waiting on a server.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

struct RunningApplication {
    int32_t pid = 0;
    // A regular application: one the user sees as a window of its own (not a panel, dock,
    // background service or helper).
    bool regular = false;
    // The application's identifier (its desktop-file id without ".desktop"); may be absent.
    std::optional<QString> bundleIdentifier;
    // The name the user knows it by, in the user's language; may be absent.
    std::optional<QString> localizedName;
};

class RunningApplications {
  public:
    virtual ~RunningApplications() = default;
    // In the desktop's own order (for windows: the order they were first managed).
    virtual std::vector<RunningApplication> runningApplications() = 0;
};

}  // namespace qv
