// Fakes of the portal's bus and of the token store. The fake bus answers each ScreenCast
// method from a script and, like the real portal, may send a request's Response before the
// call that made the request has returned: a response on a path nobody watched is lost.
#pragma once

#include <fcntl.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "portal_bus.h"
#include "restore_token.h"
#include "screencast_portal.h"

namespace hc::test {

class FakePortalBus final : public PortalBus {
  public:
    // How the portal answers one call of a method.
    struct Answer {
        std::optional<BusError> error;  // the call itself fails
        RequestResponse response{0, {}};
        // The portal answers on this handle instead of the predicted one, and only once the
        // caller waits (as portals older than the documented path did).
        std::optional<std::string> handle;
    };

    std::string unique = ":1.42";
    std::variant<BusDict, BusError> props =
        BusDict{{"AvailableSourceTypes", 3u}, {"AvailableCursorModes", 7u}, {"version", 4u}};
    std::map<std::string, std::deque<Answer>> answers;
    std::optional<BusError> remoteError;
    std::optional<BusError> gone;  // the portal vanishes while the caller waits

    struct Call {
        std::string method;
        BusList args;
    };
    std::vector<Call> calls;
    std::vector<std::string> closed;  // sessions closed, in order

    // Scripts a whole successful conversation: session "/s/1", node 51 at 0,0 1920x1080.
    void grantAll(std::optional<std::string> token = "next-token") {
        const BusDict props{
            {"position", BusList{0, 0}}, {"size", BusList{1920, 1080}}, {"source_type", 1u}};
        BusDict started{{"streams", BusList{BusList{51u, props}}}};
        if (token) started.insert_or_assign("restore_token", *token);
        answers["CreateSession"].push_back({{}, {0, {{"session_handle", "/s/1"}}}, {}});
        answers["SelectSources"].push_back({{}, {0, {}}, {}});
        answers["Start"].push_back({{}, {0, started}, {}});
    }

    // The options dictionary (last argument) of the n-th call of `method`.
    const BusDict* options(const std::string& method, int n = 0) const {
        for (const Call& c : calls) {
            if (c.method == method && n-- == 0) return c.args.back().as<BusDict>();
        }
        return nullptr;
    }
    int count(const std::string& method) const {
        int n = 0;
        for (const Call& c : calls) n += c.method == method;
        return n;
    }

    std::string uniqueName() const override { return unique; }
    std::variant<BusDict, BusError> properties() override { return props; }
    void watchRequest(const std::string& path) override { watched_.insert(path); }

    std::variant<ObjectPath, BusError> request(const std::string& method,
                                               const BusList& args) override {
        calls.push_back({method, args});
        auto& queue = answers[method];
        if (queue.empty()) return BusError{"org.freedesktop.DBus.Error.Failed", "unscripted"};
        Answer a = queue.front();
        queue.pop_front();
        if (a.error) return *a.error;
        if (a.handle) {
            late_.emplace(*a.handle, a.response);
            return ObjectPath{*a.handle};
        }
        const auto* opts = args.back().as<BusDict>();
        const auto* token = opts ? lookup<std::string>(*opts, "handle_token") : nullptr;
        const std::string path = "/org/freedesktop/portal/desktop/request/" + predictedSender() +
                                 "/" + (token ? *token : std::string("none"));
        if (watched_.count(path)) sent_.insert_or_assign(path, a.response);  // else lost
        return ObjectPath{path};
    }

    std::variant<RequestResponse, BusError> waitResponse(const std::string& path) override {
        if (gone) return *gone;
        if (const auto it = late_.find(path); it != late_.end() && watched_.count(path)) {
            sent_.insert_or_assign(path, it->second);
            late_.erase(it);
        }
        const auto it = sent_.find(path);
        // The real wait would never end: a lost response is a fault the test must see.
        if (it == sent_.end()) return BusError{"test.Lost", "the response was lost"};
        RequestResponse r = it->second;
        sent_.erase(it);
        return r;
    }

    std::variant<UniqueFd, BusError> openPipeWireRemote(const ObjectPath& session) override {
        calls.push_back({"OpenPipeWireRemote", {session}});
        if (remoteError) return *remoteError;
        return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    void watchSession(const ObjectPath&, std::function<void()>) override {}
    void closeSession(const ObjectPath& session) override { closed.push_back(session.value); }

  private:
    std::string predictedSender() const {
        std::string s = unique.substr(1);
        for (char& c : s)
            if (c == '.') c = '_';
        return s;
    }
    std::set<std::string> watched_;
    std::map<std::string, RequestResponse> sent_;
    std::map<std::string, RequestResponse> late_;
};

class FakeTokenStore final : public TokenStore {
  public:
    std::optional<std::string> token;
    int saves = 0;
    int clears = 0;

    std::optional<std::string> load() override { return token; }
    void save(const std::string& t) override {
        ++saves;
        token = t;
    }
    void clear() override {
        ++clears;
        token.reset();
    }
};

}  // namespace hc::test
