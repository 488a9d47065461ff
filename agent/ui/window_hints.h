// How the desktop treats the agent's windows: their identity, panels that float over every
// workspace, and what the desktop can draw. One adapter per windowing system, chosen by the
// build; main thread only.
#pragma once

#include <QColor>
#include <memory>
#include <optional>

class QWindow;

namespace qv {

class WindowHints {
  public:
    virtual ~WindowHints() = default;
    // From now on every window of the agent carries the agent's identity (APP_ID as its
    // window class), by which desktop tools, and the screen recorder, recognise it.
    virtual void tagAgentWindows() = 0;
    // For a top-level window that has not been shown yet: shown on every workspace and kept
    // out of the taskbar and the pager.
    virtual void makePanel(QWindow* window) = 0;
    // Whether a compositor blends translucent windows with what lies below them.
    virtual bool compositing() const = 0;
    // The colour the tray host asks its icons to be drawn in, when it says.
    virtual std::optional<QColor> trayForeground() const = 0;
};

// Hints that change nothing: for windowing systems without these notions, and for tests.
class NullWindowHints : public WindowHints {
  public:
    void tagAgentWindows() override {}
    void makePanel(QWindow*) override {}
    bool compositing() const override { return true; }
    std::optional<QColor> trayForeground() const override { return std::nullopt; }
};

// The adapter this build carries, for the windowing system the application runs on.
std::unique_ptr<WindowHints> makeWindowHints();

}  // namespace qv
