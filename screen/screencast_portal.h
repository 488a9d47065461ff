// The conversation with the ScreenCast portal that ends in a PipeWire stream of one monitor:
// CreateSession, SelectSources, Start (where the desktop may ask the user), and
// OpenPipeWireRemote, with the restore token that lets later recordings skip the question.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "overlay.h"
#include "portal_bus.h"
#include "restore_token.h"
#include "screen_source.h"

namespace hc {

// What the user sees when no portal or no ScreenCast backend answers.
inline constexpr std::string_view NEEDS_PORTAL =
    "Screen capture on Wayland needs xdg-desktop-portal with a ScreenCast backend (for example "
    "xdg-desktop-portal-gnome or -kde)";
inline constexpr std::string_view DECLINED = "Screen sharing was declined";
// Said once when the portal cannot draw the pointer into the picture.
inline constexpr std::string_view NO_POINTER =
    "The screen-sharing portal cannot draw the pointer into the picture: the recording shows "
    "no pointer";

// The request object a request with `token` answers on: the portal's documented path, built
// from the caller's unique name (":1.42" gives "1_42").
std::string requestPath(const std::string& uniqueName, const std::string& token);

// A monitor being shared.
struct SharedScreen {
    ObjectPath session;
    std::uint32_t node = 0;  // the PipeWire node of the monitor's stream
    // Where the monitor lies in the compositor's (logical) coordinates, when the portal says.
    std::optional<Rect> area;
    UniqueFd remote;  // the PipeWire connection that can see the node
};

// Runs the conversation once. Blocks while the desktop asks the user. Used from one thread.
class ScreenCastPortal {
  public:
    using Notice = std::function<void(std::string_view)>;
    using Pause = std::function<void(std::chrono::milliseconds)>;
    // `pause` waits between tries to create a session (the thread sleeps by default).
    ScreenCastPortal(PortalBus& bus, TokenStore& tokens, Notice notice, Pause pause = {})
        : bus_(bus), tokens_(tokens), notice_(std::move(notice)), pause_(std::move(pause)) {}

    // The shared monitor, or a failure the user can act on. On failure no session is left
    // open.
    std::variant<SharedScreen, Failure> open();

  private:
    struct Options {
        std::uint32_t cursorMode = 0;  // 0: leave it to the portal
        bool persist = false;
    };
    std::variant<SharedScreen, Failure> attempt(const Options& options,
                                                const std::optional<std::string>& token,
                                                bool& tokenRejected);
    std::variant<RequestResponse, Failure> call(const std::string& method, BusList args,
                                                BusDict options);
    std::variant<ObjectPath, Failure> createSession();
    std::variant<Options, Failure> readCapabilities();

    PortalBus& bus_;
    TokenStore& tokens_;
    Notice notice_;
    Pause pause_;
    unsigned requests_ = 0;
};

}  // namespace hc
