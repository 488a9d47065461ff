// A private, headless GNOME-like Wayland session for one test: its own session bus
// (dbus-daemon), PipeWire with WirePlumber, Mutter with a virtual monitor and XWayland, and
// the desktop portal with its GNOME backend, started on demand by the bus. Nothing of it is
// shared with the machine's own session. No Qt and no GoogleTest, so that any test can use it.
//
//     qv::test::WaylandSession session;
//     ASSERT_TRUE(session.running()) << session.error();
//     run a client with session.clientEnvironment() added to its environment;
//     session.answerDialog(WaylandSession::Answer::Share, [&] { return clientIsRecording(); });
//
// Every process of the session runs in one process group, which stop() ends as a whole.
// Not thread-safe: use it from the test's thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qv::test {

class WaylandSession {
  public:
    // What answers org.freedesktop.portal.Desktop on the session bus.
    enum class Portal {
        Gnome,              // xdg-desktop-portal with its GNOME backend (ScreenCast included)
        WithoutScreenCast,  // xdg-desktop-portal with no backend at all
        None,               // nothing
    };
    struct Options {
        int width = 1920;
        int height = 1080;
        Portal portal = Portal::Gnome;
    };

    // Starts the session and waits (up to a minute) until Mutter and XWayland accept clients.
    explicit WaylandSession(Options options);
    WaylandSession();
    // stop().
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    bool running() const { return running_; }
    // Why the session did not start, with the end of the failing program's log.
    const std::string& error() const { return error_; }
    // The session's private folder: runtime folder, home, the logs of its programs.
    const std::filesystem::path& folder() const { return folder_; }

    // What a client needs in its environment: XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
    // WAYLAND_DISPLAY, DISPLAY and XAUTHORITY (XWayland), XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP,
    // HOME and the XDG_*_HOME folders (private to the session).
    std::map<std::string, std::string> clientEnvironment() const;

    enum class Answer { Share, Cancel };
    // Answers the GNOME backend's "Screen Share" dialog with the pointer, through Mutter's
    // remote-desktop API: chooses the monitor and presses Share, or presses Cancel. Since the
    // dialog may not be up yet, it clicks again every second until `answered()` is true or
    // `limit` has passed; true when answered() became true.
    bool answerDialog(Answer answer, const std::function<bool()>& answered,
                      std::chrono::milliseconds limit = std::chrono::seconds(60));

    // The compositor's process (Mutter), for measurements; -1 once it has ended.
    pid_t compositor() const { return compositor_; }

    // True while `busName` has an owner on the session's bus (a service has started).
    bool serves(const std::string& busName) const;

    // Ends the compositor (Mutter and XWayland) alone, as when it crashes; the bus, PipeWire
    // and the portal stay.
    void stopCompositor();

    // Ends every process of the session and removes its folder. Safe to call twice.
    void stop();

  private:
    pid_t spawn(const std::vector<std::string>& argv, const std::string& log,
                const std::vector<std::string>& extraEnv = {});
    bool startBus(const Options& options);
    bool startCompositor(const Options& options);
    bool fail(const std::string& what, const std::string& log = {});
    std::vector<std::string> baseEnvironment() const;

    Options options_;
    bool running_ = false;
    std::string error_;
    std::filesystem::path folder_;
    std::filesystem::path runtime_;
    pid_t group_ = -1;  // the process group of every program of the session
    std::vector<pid_t> children_;
    pid_t compositor_ = -1;
    std::string busAddress_;
    std::string display_;     // ":N" of XWayland
    std::string xauthority_;  // XWayland's authority file
};

}  // namespace qv::test
