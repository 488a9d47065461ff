// App: start-up order and timer schedule, the detect setting, pages, reopen and termination.
#include <gtest/gtest.h>

#include <QSettings>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "main/constants.h"

using namespace qv;
using namespace qv::test;

namespace {

// Records the periodic work with the fake clock's time instead of doing it.
class RecordingApp : public App {
  public:
    RecordingApp(AppServices s, FakeClock& clock, std::vector<std::string>& log)
        : App(std::move(s)), clock_(clock), log_(log) {}
    void refresh(bool first) override { note(first ? "refresh(first)" : "refresh"); }
    void watchMic() override { note("watchMic"); }
    void checkSoon() override { note("checkSoon"); }
    void loadUpcoming() override { note("loadUpcoming"); }

  private:
    void note(const std::string& what) {
        log_.push_back(std::to_string(static_cast<int>((clock_.now() - kStart) * 10)) + " " + what);
    }
    FakeClock& clock_;
    std::vector<std::string>& log_;

  public:
    static constexpr double kStart = 1'000'000.0;
};

class CountingItem : public StatusItem {
  public:
    explicit CountingItem(std::vector<std::string>& log) { log.push_back("item"); }
    void setTitle(const QString&) override {}
    void setMenuSource(std::function<MenuRows()>) override {}
};

TEST(AppStartup, LaunchMakesTheItemThenStartsTheServerInTheBackground) {
    AppWorld w;
    std::vector<std::string> log;
    RecordingApp app(w.services([&] { return std::make_unique<CountingItem>(log); }), w.clock, log);
    app.applicationDidFinishLaunching();
    ASSERT_NE(app.item, nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"item"});
    EXPECT_EQ(w.server.calls, std::vector<std::string>{"start"});
    // Until the server's start has returned to the main thread, nothing polls or watches.
    w.clock.advance(300);
    EXPECT_EQ(log, std::vector<std::string>{"item"});
    EXPECT_EQ(w.clock.pendingTimers(), 0u);
}

TEST(AppStartup, ContinuationPollsFirstThenRunsTheTimersOnTheirSchedule) {
    AppWorld w;
    std::vector<std::string> log;
    RecordingApp app(w.services(), w.clock, log);
    app.applicationDidFinishLaunching();
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
        std::vector<std::string> log;
        RecordingApp app(w.services(), w.clock, log);
        app.applicationDidFinishLaunching();
        EXPECT_EQ(w.permissions.micRequests, access == MicAccess::NotDetermined ? 1 : 0);
        // The answer is not awaited: the launch went on regardless.
        EXPECT_EQ(w.server.calls, std::vector<std::string>{"start"});
    }
}

TEST(AppStartup, FreshAppHoldsTheInitialState) {
    AppWorld w;
    App app(w.services());
    EXPECT_FALSE(app.recording);
    EXPECT_FALSE(app.browserRecording);
    EXPECT_TRUE(app.setupDone);
    EXPECT_FALSE(app.restarting);
    EXPECT_FALSE(app.meetingId.has_value());
    EXPECT_FALSE(app.startedAt.has_value());
    EXPECT_FALSE(app.triggerApp.has_value());
    EXPECT_FALSE(app.triggerGoneSince.has_value());
    EXPECT_TRUE(app.seenSince.isEmpty());
    EXPECT_TRUE(app.dismissed.isEmpty());
    EXPECT_TRUE(app.upcoming.isEmpty());
    EXPECT_TRUE(app.reminded.isEmpty());
    EXPECT_EQ(app.item, nullptr);
}

TEST(AppDetect, DefaultsOnTogglesAndSurvivesARestart) {
    AppWorld w;
    const QString file = w.dir.filePath("quorvia.conf");
    {
        App app(w.services());
        EXPECT_TRUE(app.detect());
        app.setDetect(false);
        EXPECT_FALSE(app.detect());
    }
    QSettings reread(file, QSettings::IniFormat);
    AppServices s = w.services();
    App restarted({s.http, s.browser, s.clock, s.scheduler, s.background, reread, s.permissions,
                   s.server, s.prompt, s.card, s.eventStore, nullptr, s.loginItem, s.question,
                   s.foreground, s.files});
    EXPECT_FALSE(restarted.detect());
    restarted.setDetect(true);
    EXPECT_TRUE(restarted.detect());
}

TEST(AppDetect, AnythingButABooleanReadsAsOn) {
    for (const QVariant& stored : {QVariant(QStringLiteral("no")), QVariant(0), QVariant(1.5),
                                   QVariant(QStringList{"false"})}) {
        AppWorld w;
        w.settings.setValue("detectCalls", stored);
        App app(w.services());
        EXPECT_TRUE(app.detect()) << stored.toString().toStdString();
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
        AppWorld w;
        App app(w.services());
        app.openWeb(c.path);
        EXPECT_EQ(w.browser.opened, c.opened) << c.path.toStdString();
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
    int status = -1;
    app.http("/api/native/start", "POST", QJsonObject{{"app", "Zoom"}}, 60.0,
             [&](int s, const QJsonObject&) { status = s; });
    ASSERT_EQ(w.http.requests.size(), 1u);
    EXPECT_EQ(w.http.requests[0].method, "POST");
    EXPECT_EQ(w.http.requests[0].timeout, 60.0);
    w.http.answer(409);
    EXPECT_EQ(status, 409);
}

}  // namespace
