// The conversation with the ScreenCast portal against a scripted bus: what is asked, how
// replies, refusals and errors come out, and how the restore token is kept.
#include <gtest/gtest.h>

#include <functional>

#include "portal_fakes.h"
#include "screencast_portal.h"

namespace hc {
namespace {

using test::FakePortalBus;
using test::FakeTokenStore;

const BusError NO_OWNER{"org.freedesktop.DBus.Error.ServiceUnknown",
                        "The name org.freedesktop.portal.Desktop was not provided"};

class ScreenCastPortalTest : public testing::Test {
  protected:
    FakePortalBus bus;
    FakeTokenStore tokens;
    std::vector<std::string> notices;

    std::vector<std::chrono::milliseconds> pauses;

    std::variant<SharedScreen, Failure> open() {
        ScreenCastPortal portal(
            bus, tokens, [this](std::string_view text) { notices.emplace_back(text); },
            [this](std::chrono::milliseconds pause) { pauses.push_back(pause); });
        return portal.open();
    }
    static std::string failureOf(const std::variant<SharedScreen, Failure>& r) {
        const auto* f = std::get_if<Failure>(&r);
        return f ? f->description : "(no failure)";
    }
};

TEST(RequestPath, IsBuiltFromTheUniqueNameAndTheToken) {
    EXPECT_EQ(requestPath(":1.42", "hc_screen_1"),
              "/org/freedesktop/portal/desktop/request/1_42/hc_screen_1");
    EXPECT_EQ(requestPath(":12.345", "t"), "/org/freedesktop/portal/desktop/request/12_345/t");
}

TEST_F(ScreenCastPortalTest, SharesOneMonitorWithTheCursorAndAPersistentPermission) {
    bus.grantAll();
    const auto result = open();
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(result)) << failureOf(result);
    const SharedScreen& shared = std::get<SharedScreen>(result);
    EXPECT_EQ(shared.session.value, "/s/1");
    EXPECT_EQ(shared.node, 51u);
    ASSERT_TRUE(shared.area);
    EXPECT_EQ(*shared.area, (Rect{0, 0, 1920, 1080}));
    EXPECT_TRUE(shared.remote);

    std::vector<std::string> order;
    for (const auto& c : bus.calls) order.push_back(c.method);
    EXPECT_EQ(order, (std::vector<std::string>{"CreateSession", "SelectSources", "Start",
                                               "OpenPipeWireRemote"}));
    const BusDict& select = *bus.options("SelectSources");
    EXPECT_EQ(*lookup<std::uint32_t>(select, "types"), 1u) << "monitors only";
    EXPECT_EQ(*lookup<bool>(select, "multiple"), false);
    EXPECT_EQ(*lookup<std::uint32_t>(select, "cursor_mode"), 2u) << "embedded";
    EXPECT_EQ(*lookup<std::uint32_t>(select, "persist_mode"), 2u);
    EXPECT_EQ(lookup<std::string>(select, "restore_token"), nullptr) << "none stored yet";
    EXPECT_EQ(bus.calls[1].args.front(), BusValue(ObjectPath{"/s/1"}));
    EXPECT_EQ(bus.calls[2].args[1], BusValue(std::string())) << "no parent window";
    EXPECT_NE(lookup<std::string>(*bus.options("CreateSession"), "session_handle_token"), nullptr);
    EXPECT_EQ(tokens.token, "next-token");
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(bus.closed.empty());
}

TEST_F(ScreenCastPortalTest, EveryRequestCarriesItsOwnHandleToken) {
    bus.grantAll();
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(open()));
    std::set<std::string> seen;
    for (const char* method : {"CreateSession", "SelectSources", "Start"}) {
        const auto* token = lookup<std::string>(*bus.options(method), "handle_token");
        ASSERT_NE(token, nullptr) << method;
        EXPECT_TRUE(seen.insert(*token).second) << method << " reuses " << *token;
    }
}

TEST_F(ScreenCastPortalTest, AResponseOnAnotherPathThanPredictedIsStillHeard) {
    bus.grantAll();
    bus.answers["Start"].front().handle = "/org/freedesktop/portal/desktop/request/old/7";
    EXPECT_TRUE(std::holds_alternative<SharedScreen>(open()));
}

TEST_F(ScreenCastPortalTest, TheStoredTokenIsSentAndReplacedByTheNewOne) {
    tokens.token = "old-token";
    bus.grantAll("new-token");
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(open()));
    EXPECT_EQ(*lookup<std::string>(*bus.options("SelectSources"), "restore_token"), "old-token");
    EXPECT_EQ(tokens.token, "new-token");
    EXPECT_EQ(bus.count("Start"), 1);
}

TEST_F(ScreenCastPortalTest, ASpentTokenIsForgottenWhenNoNewOneComes) {
    tokens.token = "old-token";
    bus.grantAll(std::nullopt);
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(open()));
    EXPECT_EQ(tokens.token, std::nullopt);
}

TEST_F(ScreenCastPortalTest, ARejectedTokenBringsTheQuestionBackInANewSession) {
    tokens.token = "stale";
    bus.answers["CreateSession"].push_back({{}, {0, {{"session_handle", "/s/0"}}}, {}});
    bus.answers["SelectSources"].push_back({{}, {0, {}}, {}});
    bus.answers["Start"].push_back({{}, {2, {}}, {}});
    bus.grantAll("fresh");
    const auto result = open();
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(result)) << failureOf(result);
    EXPECT_EQ(std::get<SharedScreen>(result).session.value, "/s/1");
    EXPECT_EQ(bus.closed, (std::vector<std::string>{"/s/0"}));
    EXPECT_EQ(*lookup<std::string>(*bus.options("SelectSources", 0), "restore_token"), "stale");
    EXPECT_EQ(lookup<std::string>(*bus.options("SelectSources", 1), "restore_token"), nullptr);
    EXPECT_EQ(tokens.token, "fresh");
}

TEST_F(ScreenCastPortalTest, ABackendThatIsStillStartingIsGivenTime) {
    for (int i = 0; i < 2; ++i) bus.answers["CreateSession"].push_back({{}, {2, {}}, {}});
    bus.grantAll();
    const auto result = open();
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(result)) << failureOf(result);
    EXPECT_EQ(bus.count("CreateSession"), 3);
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>(2, std::chrono::seconds(1))));
    EXPECT_EQ(bus.count("SelectSources"), 1);
}

TEST_F(ScreenCastPortalTest, APointerThePortalCannotDrawIsLeftOutAndSaidOnce) {
    bus.props =
        BusDict{{"AvailableSourceTypes", 1u}, {"AvailableCursorModes", 5u}, {"version", 4u}};
    bus.grantAll();
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(open()));
    EXPECT_EQ(*lookup<std::uint32_t>(*bus.options("SelectSources"), "cursor_mode"), 1u);
    EXPECT_EQ(notices, (std::vector<std::string>{std::string(NO_POINTER)}));
}

TEST_F(ScreenCastPortalTest, AnOldPortalIsAskedOnlyWhatItUnderstands) {
    tokens.token = "kept";
    bus.props = BusDict{{"AvailableSourceTypes", 1u}, {"version", 1u}};
    bus.grantAll(std::nullopt);
    ASSERT_TRUE(std::holds_alternative<SharedScreen>(open()));
    const BusDict& select = *bus.options("SelectSources");
    EXPECT_EQ(lookup<std::uint32_t>(select, "cursor_mode"), nullptr);
    EXPECT_EQ(lookup<std::uint32_t>(select, "persist_mode"), nullptr);
    EXPECT_EQ(lookup<std::string>(select, "restore_token"), nullptr);
    EXPECT_EQ(tokens.token, "kept") << "a portal without tokens spends none";
}

struct FailureCase {
    const char* name;
    std::function<void(FakePortalBus&, FakeTokenStore&)> script;
    std::string expected;
    std::vector<std::string> closed;  // sessions that must have been closed
};

TEST_F(ScreenCastPortalTest, FailuresSayWhatTheUserCanDo) {
    const auto setResponse = [](const char* method, std::uint32_t code, BusDict results = {}) {
        return [=](FakePortalBus& b, FakeTokenStore&) {
            b.grantAll();
            b.answers[method].front().response = {code, results};
        };
    };
    const FailureCase cases[] = {
        {"no portal on the bus",
         [](FakePortalBus& b, FakeTokenStore&) { b.props = NO_OWNER; },
         std::string(NEEDS_PORTAL),
         {}},
        {"a portal without a ScreenCast backend",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.props = BusError{"org.freedesktop.DBus.Error.InvalidArgs",
                                "No such interface 'org.freedesktop.portal.ScreenCast'"};
         },
         std::string(NEEDS_PORTAL),
         {}},
        {"properties without source types",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.props = BusDict{{"version", 4u}};
         },
         std::string(NEEDS_PORTAL),
         {}},
        {"only windows can be shared",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.props = BusDict{{"AvailableSourceTypes", 2u}, {"version", 4u}};
         },
         "The screen-sharing portal cannot share a whole screen",
         {}},
        {"the portal refuses the call",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.grantAll();
             b.answers["CreateSession"].front().error =
                 BusError{"org.freedesktop.DBus.Error.AccessDenied", "Access denied"};
         },
         "The screen-sharing portal failed: Access denied",
         {}},
        {"no session after three tries",
         [](FakePortalBus& b, FakeTokenStore&) {
             for (int i = 0; i < 3; ++i) b.answers["CreateSession"].push_back({{}, {2, {}}, {}});
         },
         "The screen-sharing portal could not create a session",
         {}},
        {"a portal offering nothing to share",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.props = BusDict{{"AvailableSourceTypes", 0u}, {"version", 4u}};
         },
         std::string(NEEDS_PORTAL),
         {}},
        {"declined when choosing",
         setResponse("SelectSources", 1),
         std::string(DECLINED),
         {"/s/1"}},
        {"declined in the dialog", setResponse("Start", 1), std::string(DECLINED), {"/s/1"}},
        {"declined in the dialog brought back by a stale token",
         [&](FakePortalBus& b, FakeTokenStore& t) {
             setResponse("Start", 1)(b, t);
             t.token = "stale";
         },
         std::string(DECLINED),
         {"/s/1"}},
        {"start fails",
         setResponse("Start", 2),
         "The screen-sharing portal could not start screen sharing",
         {"/s/1"}},
        {"nothing shared",
         setResponse("Start", 0, {}),
         "The screen-sharing portal shared no screen",
         {"/s/1"}},
        {"no PipeWire remote",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.grantAll();
             b.remoteError = BusError{"org.freedesktop.DBus.Error.Failed", "No PipeWire"};
         },
         "The screen-sharing portal could not open PipeWire: No PipeWire",
         {"/s/1"}},
        {"the portal goes away while asking",
         [](FakePortalBus& b, FakeTokenStore&) {
             b.grantAll();
             b.gone =
                 BusError{"org.freedesktop.DBus.Error.Disconnected", "the portal has gone away"};
         },
         "The screen-sharing portal failed: the portal has gone away",
         {}},
    };
    for (const FailureCase& c : cases) {
        FakePortalBus b;
        FakeTokenStore t;
        c.script(b, t);
        ScreenCastPortal portal(
            b, t, [](std::string_view) {}, [](std::chrono::milliseconds) {});
        const auto result = portal.open();
        EXPECT_EQ(failureOf(result), c.expected) << c.name;
        EXPECT_EQ(b.closed, c.closed) << c.name;
        EXPECT_LE(b.count("Start"), 1) << c.name << ": a refusal is never asked again";
    }
}

}  // namespace
}  // namespace hc
