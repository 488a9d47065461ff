// App: start-up order and timer schedule, the detect setting, pages, reopen and termination.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QSettings>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "main/constants.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr double kStart = 1'000'000.0;

// An App whose periodic work is logged with the fake clock's time, as seen from outside: each
// request to the backend by the work that sends it, each look at the microphone. Status polls
// are answered at once, so the first one shows by the page its answer opens.
struct LoggingWorld : AppWorld {
    std::vector<std::string> log;
    std::unique_ptr<App> app;

    explicit LoggingWorld(std::function<std::unique_ptr<StatusItem>()> item = nullptr) {
        AppServices s = services(std::move(item));
        s.micUsers = [this] {
            note("watchMic");
            return std::vector<MicUser>{};
        };
        http.onSend = [this](FakeHttp::Request& r) {
            if (r.path == "/api/native/status") {
                const qsizetype pages = browser.opened.size();
                r.done(200, {});
                note(browser.opened.size() > pages ? "refresh(first)" : "refresh");
            } else if (r.path == "/api/calendar/soon") {
                note("checkSoon");
            } else if (r.path == "/api/calendar/upcoming") {
                note("loadUpcoming");
            }
        };
        app = std::make_unique<App>(s);
    }
    void note(const std::string& what) {
        log.push_back(std::to_string(static_cast<int>((clock.now() - kStart) * 10)) + " " + what);
    }
};

class CountingItem : public StatusItem {
  public:
    explicit CountingItem(std::vector<std::string>& log) { log.push_back("item"); }
    void setTitle(const QString&) override {}
    void setMenuSource(std::function<MenuRows()>) override {}
};

TEST(AppStartup, LaunchMakesTheItemThenStartsTheServerInTheBackground) {
    std::vector<std::string>* log = nullptr;
    LoggingWorld w([&] { return std::make_unique<CountingItem>(*log); });
    log = &w.log;
    w.app->applicationDidFinishLaunching();
    ASSERT_NE(w.app->menu.item, nullptr);
    EXPECT_EQ(w.log, std::vector<std::string>{"item"});
    EXPECT_EQ(w.server.calls, std::vector<std::string>{"start"});
    // Until the server's start has returned to the main thread, nothing polls or watches.
    w.clock.advance(300);
    EXPECT_EQ(w.log, std::vector<std::string>{"item"});
    EXPECT_EQ(w.clock.pendingTimers(), 0u);
}

TEST(AppStartup, ContinuationPollsFirstThenRunsTheTimersOnTheirSchedule) {
    LoggingWorld w;
    std::vector<std::string>& log = w.log;
    w.app->applicationDidFinishLaunching();
    w.background.finish();
    // Time in tenths of a second since the continuation ran.
    std::vector<std::string> expected = {"0 refresh(first)", "0 loadUpcoming"};
    EXPECT_EQ(log, expected);

    w.clock.advance(121);
    // The expected timeline: four repeating timers, each first one interval in, plus the single
    // follow-up at 8 s. The order among work due at the same moment is not fixed, so both sides
    // are compared in a canonical order.
    std::vector<std::pair<int, std::string>> timeline;
    const std::pair<int, const char*> timers[] = {
        {20, "refresh"}, {15, "watchMic"}, {300, "checkSoon"}, {1200, "loadUpcoming"}};
    for (const auto& [interval, what] : timers)
        for (int t = interval; t <= 1210; t += interval) timeline.push_back({t, what});
    timeline.push_back({80, "checkSoon"});
    timeline.push_back({80, "loadUpcoming"});
    std::sort(timeline.begin(), timeline.end());
    for (const auto& [t, what] : timeline) expected.push_back(std::to_string(t) + " " + what);

    auto canonical = [](std::vector<std::string> v) {
        std::sort(v.begin() + 2, v.end(), [](const std::string& a, const std::string& b) {
            const int ta = std::stoi(a), tb = std::stoi(b);
            return ta != tb ? ta < tb : a < b;
        });
        return v;
    };
    EXPECT_EQ(canonical(log), expected);
    EXPECT_EQ(std::count(log.begin(), log.end(), "0 refresh(first)"), 1);
}

TEST(AppStartup, AsksForTheMicrophoneOnlyWhileUndecided) {
    for (MicAccess access :
         {MicAccess::NotDetermined, MicAccess::Denied, MicAccess::Restricted, MicAccess::Granted}) {
        AppWorld w;
        w.permissions.mic = access;
        App app(w.services());
        app.applicationDidFinishLaunching();
        EXPECT_EQ(w.permissions.micRequests, access == MicAccess::NotDetermined ? 1 : 0);
        // The answer is not awaited: the launch went on regardless.
        EXPECT_EQ(w.server.calls, std::vector<std::string>{"start"});
    }
}

TEST(AppStartup, FreshAppHoldsTheInitialState) {
    AppWorld w;
    App app(w.services());
    const RecordingState& state = app.statusPoll.state;
    EXPECT_FALSE(state.recording);
    EXPECT_FALSE(state.browserRecording);
    EXPECT_TRUE(state.setupDone);
    EXPECT_FALSE(app.statusPoll.restarting);
    EXPECT_FALSE(state.meetingId.has_value());
    EXPECT_FALSE(state.startedAt.has_value());
    EXPECT_FALSE(app.watcher.triggerApp.has_value());
    EXPECT_FALSE(app.watcher.triggerGoneSince.has_value());
    EXPECT_TRUE(app.watcher.seenSince.isEmpty());
    EXPECT_TRUE(app.watcher.dismissed.isEmpty());
    EXPECT_TRUE(app.meetings.upcoming.isEmpty());
    EXPECT_TRUE(app.meetings.reminded.isEmpty());
    EXPECT_EQ(app.menu.item, nullptr);
}

TEST(AppDetect, DefaultsOnTogglesAndSurvivesARestart) {
    AppWorld w;
    const QString file = w.dir.filePath("quorvia.conf");
    {
        App app(w.services());
        EXPECT_TRUE(app.watcher.detect());
        app.watcher.setDetect(false);
        EXPECT_FALSE(app.watcher.detect());
    }
    QSettings reread(file, QSettings::IniFormat);
    AppServices s = w.services();
    App restarted({s.http, s.browser, s.clock, s.scheduler, s.background, reread, s.permissions,
                   s.server, s.prompt, s.card, s.eventStore, nullptr, s.loginItem, s.question,
                   s.foreground, s.files});
    EXPECT_FALSE(restarted.watcher.detect());
    restarted.watcher.setDetect(true);
    EXPECT_TRUE(restarted.watcher.detect());
}

TEST(AppDetect, AnythingButABooleanReadsAsOn) {
    for (const QVariant& stored : {QVariant(QStringLiteral("no")), QVariant(0), QVariant(1.5),
                                   QVariant(QStringList{"false"})}) {
        AppWorld w;
        w.settings.setValue("detectCalls", stored);
        App app(w.services());
        EXPECT_TRUE(app.watcher.detect()) << stored.toString().toStdString();
    }
}

TEST(AppPages, OpenWebFormsThePageUrl) {
    struct Case {
        QString path;
        QStringList opened;
    };
    const Case cases[] = {
        {"", {"http://localhost:8765/"}},
        {"#/setup", {"http://localhost:8765/#/setup"}},
        {"#/m/abc", {"http://localhost:8765/#/m/abc"}},
        {"#/m/a b", {}},  // not a URL: nothing opens
        {"#/m/%zz", {}},
    };
    for (const Case& c : cases) {
        FakeBrowser browser;
        openWeb(browser, c.path);
        EXPECT_EQ(browser.opened, c.opened) << c.path.toStdString();
    }
}

TEST(AppPages, ReopenOpensTheHomePageAndReturnsFalse) {
    AppWorld w;
    App app(w.services());
    EXPECT_FALSE(app.applicationShouldHandleReopen());
    EXPECT_EQ(w.browser.opened, QStringList{WEB + "/"});
}

TEST(AppTermination, StopsTheServerOnceHoweverOftenItIsAsked) {
    AppWorld w;
    App app(w.services());
    app.applicationWillTerminate();
    app.applicationWillTerminate();
    EXPECT_EQ(w.server.calls, std::vector<std::string>{"stop"});
}

TEST(AppHttp, RequestsGoThroughTheClientWithTheirTimeOut) {
    AppWorld w;
    App app(w.services());
    app.recordingControl.start({.app = "Zoom"});
    ASSERT_EQ(w.http.requests.size(), 1u);
    EXPECT_EQ(w.http.requests[0].method, "POST");
    EXPECT_EQ(w.http.requests[0].timeout, 60.0);
    w.http.answer(409, {{"error", "Busy"}});
    ASSERT_EQ(w.prompt.shown.size(), 1u);  // the answer reached recording control
    EXPECT_EQ(w.prompt.shown[0].subtitle, "Busy");
}

TEST(AppTermination, AnswersThatArriveAfterQuitChangeNothing) {
    const QJsonObject soon{{"events", QJsonArray{QJsonObject{{"key", "a"}, {"title", "A"}}}}};
    struct Case {
        const char* name;
        std::function<void(App&)> send;
        int status;
        QJsonObject reply;
    };
    const Case cases[] = {
        {"first status poll",
         [](App& a) { a.statusPoll.refresh(true); },
         200,
         {{"recording", true}, {"setup_done", false}, {"meeting_id", "m1"}}},
        {"start",
         [](App& a) { a.recordingControl.start(); },
         200,
         {{"meeting", QJsonObject{{"id", "m1"}}}}},
        {"stop", [](App& a) { a.recordingControl.stop(); }, 200, {{"meeting_id", "m1"}}},
        {"failed stop", [](App& a) { a.recordingControl.stop(); }, 0, {}},
        {"upcoming meetings", [](App& a) { a.meetings.loadUpcoming(); }, 200, soon},
        {"soon meetings", [](App& a) { a.meetings.checkSoon(); }, 200, soon},
        {"calendar event", [](App& a) { a.meetings.openCalendarMeeting({}); }, 200, {{"id", "m1"}}},
    };
    for (const Case& c : cases) {
        AppWorld w;
        App app(w.services());
        c.send(app);
        ASSERT_EQ(w.http.requests.size(), 1u) << c.name;
        app.applicationWillTerminate();
        w.http.answer(c.status, c.reply);
        EXPECT_FALSE(app.statusPoll.state.recording) << c.name;
        EXPECT_TRUE(app.statusPoll.state.setupDone) << c.name;
        EXPECT_FALSE(app.statusPoll.state.meetingId) << c.name;
        EXPECT_TRUE(app.meetings.upcoming.isEmpty()) << c.name;
        EXPECT_TRUE(app.meetings.reminded.isEmpty()) << c.name;
        EXPECT_TRUE(w.browser.opened.isEmpty()) << c.name;
        EXPECT_TRUE(w.prompt.shown.empty()) << c.name;
        EXPECT_TRUE(w.card.shown.empty()) << c.name;
        EXPECT_EQ(w.server.calls, std::vector<std::string>{"stop"}) << c.name;
    }
}

TEST(AppTermination, TimersEndAndTheTrayAndPanelsGoBeforeTheServerStops) {
    AppWorld w;
    FakeStatusItem* item = nullptr;
    App app(w.services(AppWorld::fakeItem(item)));
    app.applicationDidFinishLaunching();
    w.background.finish();
    ASSERT_GT(w.clock.pendingTimers(), 0u);
    w.prompt.show(
        "Zoom is using your microphone", "", "Record this meeting", "Not now", [] {}, [] {}, 40);
    w.card.show(
        "Stand-up", w.clock.now(), std::nullopt, "", "", "", [] {}, [] {}, [] {}, [] {}, 150);
    ASSERT_NE(item, nullptr);
    // What is still there while the server stops the backend (which may take 20 s).
    std::vector<bool> during;
    w.server.onStop = [&] {
        during = {app.menu.item != nullptr, w.prompt.visible(), w.card.visible(),
                  w.clock.pendingTimers() > 0};
    };

    app.applicationWillTerminate();
    EXPECT_EQ(during, (std::vector<bool>{false, false, false, false}));
    const size_t sent = w.http.requests.size();
    w.clock.advance(600);
    EXPECT_EQ(w.http.requests.size(), sent);
    EXPECT_EQ(w.server.calls, (std::vector<std::string>{"start", "stop"}));
}

TEST(AppTermination, ALaunchThatReturnsAfterQuitStartsNothing) {
    AppWorld w;
    App app(w.services());
    app.applicationDidFinishLaunching();
    app.applicationWillTerminate();
    w.background.finish();  // the backend's start returns only now
    EXPECT_TRUE(w.http.requests.empty());
    EXPECT_EQ(w.clock.pendingTimers(), 0u);
    EXPECT_EQ(w.server.calls, (std::vector<std::string>{"start", "stop"}));
}

}  // namespace
