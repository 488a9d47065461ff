// The top-level windows of the user's applications, kept current from the window system's
// events on a thread of its own, so that reading them never waits on the display server.
// Any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv {

struct TopLevelWindow {
    uint32_t id = 0;
    int32_t pid = 0;       // the owning process; 0 when unknown or on another machine
    std::string instance;  // WM_CLASS: instance name
    std::string wmClass;   // WM_CLASS: class name
    // A window the user works in, as a taskbar shows it: a normal window or a dialog, not
    // a dock, desktop, menu, tool palette or notification, and not kept out of the taskbar.
    bool normal = false;

    bool operator==(const TopLevelWindow&) const = default;
};

class WindowList {
  public:
    struct Snapshot {
        uint64_t generation = 0;  // moves whenever the windows change
        std::shared_ptr<const std::vector<TopLevelWindow>> windows;
    };
    virtual ~WindowList() = default;
    // Whether a window system is watched at all (false: no display, or not built with one).
    virtual bool available() const = 0;
    // The windows in the window manager's order (the order they were first managed).
    virtual Snapshot snapshot() const = 0;
};

// No window system: no windows, ever.
class NullWindowList : public WindowList {
  public:
    bool available() const override { return false; }
    Snapshot snapshot() const override {
        return {0, std::make_shared<const std::vector<TopLevelWindow>>()};
    }
};

// The window system's list where the build and the session have one; an empty one otherwise.
std::unique_ptr<WindowList> makeWindowList();

}  // namespace qv
