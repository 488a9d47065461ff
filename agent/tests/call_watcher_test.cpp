// The call watcher as timelines: the test moves the clock in watcher ticks, says who uses the
// microphone at each tick, clicks the prompt and answers the backend.
#include <gtest/gtest.h>

#include "app_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr double kTick = 1.5;
const QString kOffer = QStringLiteral(" is using your microphone");
const QJsonObject kStarted{{"meeting", QJsonObject{{"id", "m1"}}}};
const QJsonObject kStopped{{"meeting_id", "m1"}, {"run_id", "r1"}};

// A meeting card that is always on screen.
class ShownCard : public NullMeetingCard {
  public:
    bool visible() const override { return true; }
};

struct WatcherWorld : AppWorld {
    QStringList using_;  // who uses the microphone now: one process per entry
    ShownCard shownCard;
    FakeStatusItem* item = nullptr;
    std::unique_ptr<App> app;

    explicit WatcherWorld(bool cardOnScreen = false) {
        AppServices s = services(fakeItem(item));
        s.micUsers = [this] {
            std::vector<MicUser> users;
            int32_t pid = 1000;
            for (const QString& name : using_) users.push_back({pid++, QString(), name});
            return users;
        };
        app = std::make_unique<App>(AppServices{
            s.http, s.browser, s.clock, s.scheduler, s.background, s.settings, s.permissions,
            s.server, s.prompt, cardOnScreen ? static_cast<MeetingCard&>(shownCard) : s.card,
            s.eventStore, s.makeStatusItem, s.loginItem, s.question, s.foreground, s.files,
            s.micUsers});
        app->applicationDidFinishLaunching();  // the tray entry; the timers stay with the test
    }

    // One watcher pass, one period after the last.
    void tick() {
        clock.advance(kTick);
        app->watcher.watchMic();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // The titles of the offers made so far.
    QStringList offers() const {
        QStringList titles;
        for (const auto& p : prompt.shown)
            if (p.title.endsWith(kOffer)) titles << p.title.chopped(kOffer.size());
        return titles;
    }
    std::vector<const FakeHttp::Request*> requests(const QString& path) const {
        std::vector<const FakeHttp::Request*> found;
        for (const auto& r : http.requests)
            if (r.path == path) found.push_back(&r);
        return found;
    }
    // Offers `name` (which must be using the microphone) and starts its recording.
    void recordCallOf(const QString& name) {
        ticks(3);
        ASSERT_EQ(offers().back(), name);
        prompt.clickPrimary();
        ASSERT_EQ(requests("/api/native/start").size(), 1u);
        http.answer(200, kStarted);
        ASSERT_TRUE(app->statusPoll.state.recording);
        ASSERT_EQ(app->watcher.triggerApp, name);
    }
};

TEST(CallWatcher, OffersAfterMoreThanThreeSecondsOfContinuousUse) {
    WatcherWorld w;
    w.using_ = {"Zoom"};
    w.tick();  // first seen
    w.ticks(2);
    EXPECT_TRUE(w.offers().isEmpty()) << "3.0 s is not more than 3 s";
    w.tick();
    ASSERT_EQ(w.offers(), QStringList{"Zoom"});
    const FakePrompt::Shown& offer = w.prompt.shown.back();
    EXPECT_EQ(offer.title, "Zoom is using your microphone");
    EXPECT_EQ(offer.subtitle, "Record it? Everyone on the call is captured.");
    EXPECT_EQ(offer.primary, "Record this meeting");
    EXPECT_EQ(offer.secondary, "Not now");
    EXPECT_EQ(offer.seconds, 40.0);

    w.prompt.clickPrimary();
    const auto starts = w.requests("/api/native/start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->method, "POST");
    EXPECT_EQ(starts[0]->body, (QJsonObject{{"app", "Zoom"}}));
    EXPECT_EQ(starts[0]->timeout, 60.0);
    w.http.answer(200, kStarted);
    EXPECT_TRUE(w.app->statusPoll.state.recording);
    EXPECT_EQ(w.app->watcher.triggerApp, "Zoom");
    EXPECT_TRUE(w.browser.opened.isEmpty());  // a detected call opens no page
}

TEST(CallWatcher, ShortUseIsNeverOfferedAndAGapStartsTheCountAgain) {
    WatcherWorld w;
    w.using_ = {"Zoom"};
    w.ticks(2);  // 1.5 s of use: seen, seen
    w.using_.clear();
    w.ticks(5);
    w.using_ = {"Zoom"};
    w.ticks(3);  // seen anew, then 3.0 s
    EXPECT_TRUE(w.offers().isEmpty());
    w.using_.clear();  // one tick without it ends the stretch
    w.tick();
    w.using_ = {"Zoom"};
    w.ticks(3);
    EXPECT_TRUE(w.offers().isEmpty());
    w.tick();
    EXPECT_EQ(w.offers(), QStringList{"Zoom"});
}

TEST(CallWatcher, AnOfferNotTakenIsNotRepeatedUntilTheUseStops) {
    const std::pair<const char*, std::function<void(FakePrompt&)>> endings[] = {
        {"Not now", [](FakePrompt& p) { p.clickSecondary(); }},
        {"time-out", [](FakePrompt& p) { p.close(); }},
    };
    for (const auto& [how, end] : endings) {
        WatcherWorld w;
        w.using_ = {"Zoom"};
        w.ticks(4);
        ASSERT_EQ(w.offers().size(), 1) << how;
        end(w.prompt);
        w.ticks(40);
        EXPECT_EQ(w.offers().size(), 1) << how;
        w.using_.clear();
        w.tick();
        w.using_ = {"Zoom"};
        w.ticks(4);
        EXPECT_EQ(w.offers().size(), 2) << how;
        EXPECT_TRUE(w.http.requests.empty()) << how;
    }
}

TEST(CallWatcher, OffersNothingWhileSomethingElseIsGoingOn) {
    struct Case {
        const char* what;
        std::function<void(WatcherWorld&)> hold;
        std::function<void(WatcherWorld&)> release;
    };
    const Case cases[] = {
        {"another prompt is visible",
         [](WatcherWorld& w) { w.app->recordingControl.alert("Could not start recording."); },
         [](WatcherWorld& w) { w.prompt.close(); }},
        {"setup is not done", [](WatcherWorld& w) { w.app->statusPoll.state.setupDone = false; },
         [](WatcherWorld& w) { w.app->statusPoll.state.setupDone = true; }},
        {"recording from the menu",
         [](WatcherWorld& w) { w.app->statusPoll.state.recording = true; },
         [](WatcherWorld& w) { w.app->statusPoll.state.recording = false; }},
        {"recording in the browser",
         [](WatcherWorld& w) { w.app->statusPoll.state.browserRecording = true; },
         [](WatcherWorld& w) { w.app->statusPoll.state.browserRecording = false; }},
        {"detection is off", [](WatcherWorld& w) { w.app->watcher.setDetect(false); },
         [](WatcherWorld& w) { w.app->watcher.setDetect(true); }},
    };
    for (const Case& c : cases) {
        WatcherWorld w;
        c.hold(w);
        w.using_ = {"Zoom"};
        w.ticks(10);
        EXPECT_TRUE(w.offers().isEmpty()) << c.what;
        c.release(w);
        w.tick();  // still in the same stretch of use: offered at once
        EXPECT_EQ(w.offers(), QStringList{"Zoom"}) << c.what;
    }
}

TEST(CallWatcher, AVisibleMeetingCardDoesNotHoldAnOfferBack) {
    WatcherWorld w(/*cardOnScreen=*/true);
    ASSERT_TRUE(w.app->card.visible());
    w.using_ = {"Zoom"};
    w.ticks(4);
    EXPECT_EQ(w.offers(), QStringList{"Zoom"});
}

TEST(CallWatcher, TwoApplicationsAreOfferedOneAfterTheOther) {
    WatcherWorld w;
    w.using_ = {"Zoom", "Firefox"};
    w.ticks(4);
    ASSERT_EQ(w.offers().size(), 1);
    const QString first = w.offers()[0];
    w.ticks(5);
    EXPECT_EQ(w.offers().size(), 1) << "not while the first offer is on screen";
    w.prompt.clickSecondary();
    w.tick();
    ASSERT_EQ(w.offers().size(), 2);
    EXPECT_NE(w.offers()[1], first);
    w.prompt.clickSecondary();
    w.ticks(10);
    EXPECT_EQ(w.offers().size(), 2);
}

TEST(CallWatcher, TwoProcessesOfOneApplicationCountAsOne) {
    WatcherWorld w;
    w.using_ = {"Zoom", "Zoom"};
    w.ticks(4);
    EXPECT_EQ(w.offers(), QStringList{"Zoom"});
    w.prompt.clickPrimary();
    w.http.answer(200, kStarted);
    w.using_ = {"Zoom"};  // one of its processes stops capturing: the call goes on
    w.ticks(20);
    EXPECT_TRUE(w.requests("/api/native/stop").empty());
    EXPECT_FALSE(w.app->watcher.triggerGoneSince.has_value());
}

TEST(CallWatcher, APauseOf15SecondsKeepsTheRecordingAndOneOfMoreThan20StopsIt) {
    WatcherWorld w;
    w.using_ = {"Zoom"};
    w.tick();
    w.recordCallOf("Zoom");

    w.using_.clear();
    w.ticks(11);  // absent at 11 ticks: gone since the first, 15 s before the last
    w.using_ = {"Zoom"};
    w.tick();
    EXPECT_FALSE(w.app->watcher.triggerGoneSince.has_value());
    w.ticks(3);
    EXPECT_TRUE(w.requests("/api/native/stop").empty());

    w.using_.clear();
    w.tick();  // first tick without it
    const double gone = w.clock.now();
    EXPECT_EQ(w.app->watcher.triggerGoneSince, gone);
    w.ticks(13);  // 19.5 s
    w.clock.advance(0.5);
    w.app->watcher.watchMic();  // 20.0 s is not more than 20 s
    EXPECT_TRUE(w.requests("/api/native/stop").empty());
    w.tick();  // 21.5 s
    const auto stops = w.requests("/api/native/stop");
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_GT(w.clock.now() - gone, 20.0);
    EXPECT_EQ(stops[0]->body, QJsonObject{});
    EXPECT_FALSE(w.app->watcher.triggerApp.has_value());
    w.ticks(20);
    EXPECT_EQ(w.requests("/api/native/stop").size(), 1u) << "asked once";

    w.http.answer(200, kStopped);
    EXPECT_FALSE(w.app->statusPoll.state.recording);
    EXPECT_EQ(w.prompt.shown.back().title, "Zoom call ended. Recording saved");
    EXPECT_TRUE(w.offers().size() == 1);
}

TEST(CallWatcher, WithDetectionOffARecordingFromAnOfferIsStillStopped) {
    WatcherWorld w;
    w.using_ = {"Zoom"};
    w.tick();
    w.recordCallOf("Zoom");
    w.app->watcher.setDetect(false);
    w.using_ = {"Firefox"};  // Zoom's call ends; another application takes the microphone
    w.ticks(15);
    ASSERT_EQ(w.requests("/api/native/stop").size(), 1u);
    w.http.answer(200, kStopped);
    w.ticks(20);
    EXPECT_EQ(w.offers(), QStringList{"Zoom"}) << "no offer for Firefox with detection off";
}

TEST(CallWatcher, ARecordingWithoutACallApplicationIsNeverStopped) {
    WatcherWorld w;
    w.app->recordingControl.start();  // from the menu
    w.http.answer(200, kStarted);
    w.using_ = {"Zoom"};
    w.ticks(5);
    w.using_.clear();
    w.ticks(40);
    EXPECT_TRUE(w.requests("/api/native/stop").empty());
    EXPECT_TRUE(w.offers().isEmpty());
}

TEST(CallWatcher, EveryPassRefreshesTheElapsedTimeWhileRecording) {
    WatcherWorld w;
    ASSERT_NE(w.item, nullptr);
    w.ticks(2);
    EXPECT_TRUE(w.item->titles.isEmpty());
    w.app->statusPoll.state.recording = true;  // known to record, start time not known yet
    w.ticks(2);
    EXPECT_TRUE(w.item->titles.isEmpty());
    w.app->statusPoll.state.startedAt = w.clock.now() - 59;
    w.tick();
    w.tick();
    EXPECT_EQ(w.item->titles, (QStringList{"1:00", "1:02"}));
}

}  // namespace
