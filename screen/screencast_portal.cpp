#include "screencast_portal.h"

#include <algorithm>
#include <array>
#include <thread>

namespace hc {

namespace {

constexpr std::uint32_t SOURCE_MONITOR = 1;
constexpr std::uint32_t CURSOR_HIDDEN = 1;
constexpr std::uint32_t CURSOR_EMBEDDED = 2;
constexpr std::uint32_t PERSIST_UNTIL_REVOKED = 2;
constexpr std::uint32_t RESPONSE_CANCELLED = 1;
// A desktop backend that the portal has just started may refuse sessions until it has found
// the compositor (GNOME's does, after its previous dialog ended it): a few tries, a second apart.
constexpr int SESSION_TRIES = 3;
constexpr std::chrono::milliseconds SESSION_RETRY_PAUSE{1000};

// Errors by which the bus says that nobody serves the portal or its ScreenCast interface.
bool meansNoPortal(const BusError& error) {
    static constexpr std::array<std::string_view, 7> names = {
        "org.freedesktop.DBus.Error.ServiceUnknown",   "org.freedesktop.DBus.Error.NameHasNoOwner",
        "org.freedesktop.DBus.Error.UnknownInterface", "org.freedesktop.DBus.Error.UnknownMethod",
        "org.freedesktop.DBus.Error.UnknownObject",    "org.freedesktop.DBus.Error.UnknownProperty",
        "org.freedesktop.DBus.Error.InvalidArgs",
    };
    return std::find(names.begin(), names.end(), error.name) != names.end();
}

Failure portalFailed(const BusError& error) {
    if (meansNoPortal(error)) return Failure{std::string(NEEDS_PORTAL)};
    return Failure{"The screen-sharing portal failed: " + error.message};
}

std::optional<Rect> areaOf(const BusDict& props) {
    const auto* position = lookup<BusList>(props, "position");
    const auto* size = lookup<BusList>(props, "size");
    if (size == nullptr || size->size() != 2) return std::nullopt;
    const auto* w = (*size)[0].as<std::int32_t>();
    const auto* h = (*size)[1].as<std::int32_t>();
    if (w == nullptr || h == nullptr || *w <= 0 || *h <= 0) return std::nullopt;
    Rect area{0, 0, *w, *h};
    if (position != nullptr && position->size() == 2) {
        const auto* x = (*position)[0].as<std::int32_t>();
        const auto* y = (*position)[1].as<std::int32_t>();
        if (x != nullptr && y != nullptr) {
            area.x = *x;
            area.y = *y;
        }
    }
    return area;
}

// The first stream of a Start reply: (node id, properties).
std::optional<std::pair<std::uint32_t, std::optional<Rect>>> firstStream(const BusDict& results) {
    const auto* streams = lookup<BusList>(results, "streams");
    if (streams == nullptr || streams->empty()) return std::nullopt;
    const auto* stream = streams->front().as<BusList>();
    if (stream == nullptr || stream->size() != 2) return std::nullopt;
    const auto* node = (*stream)[0].as<std::uint32_t>();
    const auto* props = (*stream)[1].as<BusDict>();
    if (node == nullptr) return std::nullopt;
    return std::pair{*node, props ? areaOf(*props) : std::nullopt};
}

}  // namespace

std::string requestPath(const std::string& uniqueName, const std::string& token) {
    std::string sender = uniqueName.starts_with(':') ? uniqueName.substr(1) : uniqueName;
    std::replace(sender.begin(), sender.end(), '.', '_');
    return "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
}

std::variant<SharedScreen, Failure> ScreenCastPortal::open() {
    const auto capabilities = readCapabilities();
    if (const auto* failure = std::get_if<Failure>(&capabilities)) return *failure;
    const Options options = std::get<Options>(capabilities);
    const std::optional<std::string> token =
        options.persist ? tokens_.load() : std::optional<std::string>{};
    bool tokenRejected = false;
    auto result = attempt(options, token, tokenRejected);
    if (tokenRejected) {
        // A token the portal no longer accepts must not stand between the user and the
        // question: forget it and ask.
        tokens_.clear();
        result = attempt(options, std::nullopt, tokenRejected);
    }
    return result;
}

std::variant<ScreenCastPortal::Options, Failure> ScreenCastPortal::readCapabilities() {
    const auto props = bus_.properties();
    if (const auto* error = std::get_if<BusError>(&props)) return portalFailed(*error);
    const BusDict& p = std::get<BusDict>(props);
    const auto* types = lookup<std::uint32_t>(p, "AvailableSourceTypes");
    // A portal without a ScreenCast backend may still show the interface, offering nothing.
    if (types == nullptr || *types == 0) return Failure{std::string(NEEDS_PORTAL)};
    if ((*types & SOURCE_MONITOR) == 0)
        return Failure{"The screen-sharing portal cannot share a whole screen"};
    const auto* version = lookup<std::uint32_t>(p, "version");
    const std::uint32_t v = version ? *version : 1;
    Options options;
    if (v >= 2) {
        const auto* modes = lookup<std::uint32_t>(p, "AvailableCursorModes");
        if (modes != nullptr && (*modes & CURSOR_EMBEDDED) != 0) {
            options.cursorMode = CURSOR_EMBEDDED;
        } else {
            options.cursorMode = CURSOR_HIDDEN;
            notice_(NO_POINTER);
        }
    }
    options.persist = v >= 4;
    return options;
}

std::variant<RequestResponse, Failure> ScreenCastPortal::call(const std::string& method,
                                                              BusList args, BusDict options) {
    const std::string token = "hc_screen_" + std::to_string(++requests_);
    options.insert_or_assign("handle_token", token);
    args.emplace_back(std::move(options));
    // Watch the predicted request object before calling, so that a quick Response is kept.
    const std::string predicted = requestPath(bus_.uniqueName(), token);
    bus_.watchRequest(predicted);
    const auto handle = bus_.request(method, args);
    if (const auto* error = std::get_if<BusError>(&handle)) return portalFailed(*error);
    const std::string& path = std::get<ObjectPath>(handle).value;
    if (path != predicted) bus_.watchRequest(path);  // a portal older than the documented path
    const auto response = bus_.waitResponse(path);
    if (const auto* error = std::get_if<BusError>(&response)) return portalFailed(*error);
    return std::get<RequestResponse>(response);
}

std::variant<ObjectPath, Failure> ScreenCastPortal::createSession() {
    for (int tries = 1;; ++tries) {
        const auto created = call(
            "CreateSession", {},
            BusDict{{"session_handle_token", "hc_screen_session_" + std::to_string(requests_)}});
        if (const auto* failure = std::get_if<Failure>(&created)) return *failure;
        const RequestResponse& c = std::get<RequestResponse>(created);
        if (c.code == 0) {
            const auto* handle = lookup<std::string>(c.results, "session_handle");
            const auto* handlePath = lookup<ObjectPath>(c.results, "session_handle");
            if (handle == nullptr && handlePath == nullptr)
                return Failure{"The screen-sharing portal failed: it named no session"};
            return ObjectPath{handle ? *handle : handlePath->value};
        }
        if (c.code == RESPONSE_CANCELLED) return Failure{std::string(DECLINED)};
        if (tries == SESSION_TRIES)
            return Failure{"The screen-sharing portal could not create a session"};
        if (pause_)
            pause_(SESSION_RETRY_PAUSE);
        else
            std::this_thread::sleep_for(SESSION_RETRY_PAUSE);
    }
}

std::variant<SharedScreen, Failure> ScreenCastPortal::attempt(
    const Options& options, const std::optional<std::string>& token, bool& tokenRejected) {
    tokenRejected = false;
    const auto created = createSession();
    if (const auto* failure = std::get_if<Failure>(&created)) return *failure;
    const ObjectPath session = std::get<ObjectPath>(created);

    auto result = [&]() -> std::variant<SharedScreen, Failure> {
        BusDict select{{"types", SOURCE_MONITOR}, {"multiple", false}};
        if (options.cursorMode != 0) select.insert_or_assign("cursor_mode", options.cursorMode);
        if (options.persist) select.insert_or_assign("persist_mode", PERSIST_UNTIL_REVOKED);
        if (token) select.insert_or_assign("restore_token", *token);
        const auto selected = call("SelectSources", {session}, std::move(select));
        if (const auto* failure = std::get_if<Failure>(&selected)) return *failure;
        const std::uint32_t s = std::get<RequestResponse>(selected).code;
        if (s == RESPONSE_CANCELLED) return Failure{std::string(DECLINED)};
        if (s != 0) {
            tokenRejected = token.has_value();
            return Failure{"The screen-sharing portal could not select the screen"};
        }

        const auto started = call("Start", {session, std::string()}, {});
        if (const auto* failure = std::get_if<Failure>(&started)) return *failure;
        const RequestResponse& st = std::get<RequestResponse>(started);
        if (st.code == RESPONSE_CANCELLED) return Failure{std::string(DECLINED)};
        if (st.code != 0) {
            tokenRejected = token.has_value();
            return Failure{"The screen-sharing portal could not start screen sharing"};
        }
        // Tokens are single-use: keep the new one, or none.
        if (const auto* next = lookup<std::string>(st.results, "restore_token"))
            tokens_.save(*next);
        else if (token)
            tokens_.clear();
        const auto stream = firstStream(st.results);
        if (!stream) return Failure{"The screen-sharing portal shared no screen"};

        auto remote = bus_.openPipeWireRemote(session);
        if (const auto* error = std::get_if<BusError>(&remote))
            return Failure{"The screen-sharing portal could not open PipeWire: " + error->message};
        return SharedScreen{session, stream->first, stream->second,
                            std::move(std::get<UniqueFd>(remote))};
    }();
    if (std::holds_alternative<Failure>(result)) bus_.closeSession(session);
    return result;
}

}  // namespace hc
