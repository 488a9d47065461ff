// Recording control against a backend whose answers the test gives.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "app_fixture.h"
#include "main/constants.h"

using namespace qv;
using namespace qv::test;

namespace {

struct RecordingWorld : AppWorld {
    FakeStatusItem* item = nullptr;
    std::unique_ptr<App> app;
    RecordingWorld() {
        app = std::make_unique<App>(services(fakeItem(item)));
        app->applicationDidFinishLaunching();
    }
    const FakeHttp::Request& lastRequest() const { return http.requests.back(); }
};

const QJsonObject kMeeting{{"meeting", QJsonObject{{"id", "m1"}, {"title", "Stand-up"}}}};

TEST(RecordingStart, SendsTheGivenArgumentsAndOpensThePageAsAsked) {
    const QJsonObject event{{"id", "ev1"}, {"calendar", "work"}};
    struct Case {
        const char* name;
        StartOptions options;
        QJsonObject body;
        bool opensPage;
    };
    const Case cases[] = {
        {"by hand", {}, {}, true},
        {"with the screen", {.screen = true}, {{"screen", true}}, true},
        {"detected call", {.app = "Zoom"}, {{"app", "Zoom"}}, false},
        {"detected call, page asked for",
         {.app = "Zoom", .openPage = true},
         {{"app", "Zoom"}},
         true},
        {"calendar event, no page", {.event = event, .openPage = false}, {{"event", event}}, false},
        {"screen off", {.screen = false}, {{"screen", false}}, true},
    };
    for (const Case& c : cases) {
        RecordingWorld w;
        w.app->recordingControl.start(c.options);
        ASSERT_EQ(w.http.requests.size(), 1u) << c.name;
        EXPECT_EQ(w.lastRequest().path, "/api/native/start");
        EXPECT_EQ(w.lastRequest().method, "POST");
        EXPECT_EQ(w.lastRequest().timeout, 60.0);
        EXPECT_EQ(w.lastRequest().body, c.body) << c.name;
        w.http.answer(200, kMeeting);
        EXPECT_EQ(w.browser.opened, c.opensPage ? QStringList{WEB + "/#/m/m1"} : QStringList{})
            << c.name;
        EXPECT_TRUE(w.prompt.shown.empty()) << c.name;
    }
}

TEST(RecordingStart, SuccessTakesOverTheRecordingState) {
    RecordingWorld w;
    w.app->watcher.triggerGoneSince = 5.0;
    w.app->watcher.triggerApp = "Old";
    w.app->recordingControl.start({.app = "Zoom"});
    w.clock.advance(2);
    w.http.answer(200, kMeeting);
    EXPECT_TRUE(w.app->statusPoll.state.recording);
    EXPECT_EQ(w.app->watcher.triggerApp, "Zoom");
    EXPECT_FALSE(w.app->watcher.triggerGoneSince.has_value());
    EXPECT_EQ(w.app->statusPoll.state.meetingId, "m1");
    EXPECT_EQ(w.app->statusPoll.state.startedAt, w.clock.now());
    EXPECT_EQ(w.item->titles, QStringList{"0:00"});

    // A start by hand forgets the application of an earlier one.
    w.app->recordingControl.start();
    w.http.answer(200, kMeeting);
    EXPECT_FALSE(w.app->watcher.triggerApp.has_value());
}

TEST(RecordingStart, AMeetingIdThatIsNotAStringOpensNoPageButStillRecords) {
    for (const QJsonValue& id : {QJsonValue(42), QJsonValue(), QJsonValue(QJsonArray{"m1"})}) {
        RecordingWorld w;
        w.app->statusPoll.state.meetingId = "earlier";
        w.app->recordingControl.start();
        QJsonObject meeting{{"title", "x"}};
        if (!id.isNull()) meeting.insert("id", id);
        w.http.answer(200, {{"meeting", meeting}});
        EXPECT_TRUE(w.app->statusPoll.state.recording);
        EXPECT_FALSE(w.app->statusPoll.state.meetingId.has_value());
        EXPECT_TRUE(w.browser.opened.isEmpty());
    }
}

TEST(RecordingStart, AMeetingWithARecordingAsksThenResendsWithTheMode) {
    struct Case {
        std::optional<int> answer;
        std::optional<QString> mode;  // nothing: no second request
    };
    const Case cases[] = {
        {0, "append"}, {1, "replace"}, {2, std::nullopt}, {std::nullopt, std::nullopt}};
    for (const Case& c : cases) {
        RecordingWorld w;
        w.question.answers = {c.answer};
        w.app->recordingControl.start({.app = "Zoom", .screen = true});
        w.http.answer(409, {{"needs_mode", true},
                            {"meeting", QJsonObject{{"id", "m1"}, {"title", "Weekly sync"}}}});
        ASSERT_EQ(w.question.asked.size(), 1u);
        const Question& q = w.question.asked[0];
        EXPECT_EQ(q.text, "\u201CWeekly sync\u201D already has a recording");
        EXPECT_EQ(q.informative,
                  "Add the new recording to it, or replace it? The minutes are written again "
                  "either way; earlier minutes stay under Versions.");
        EXPECT_EQ(q.buttons, (QStringList{"Add to it", "Replace it", "Cancel"}));
        if (!c.mode) {
            // Cancel ends the attempt silently.
            EXPECT_EQ(w.http.requests.size(), 1u);
            EXPECT_TRUE(w.prompt.shown.empty());
            EXPECT_FALSE(w.app->statusPoll.state.recording);
            continue;
        }
        ASSERT_EQ(w.http.requests.size(), 2u);
        EXPECT_EQ(w.lastRequest().body,
                  (QJsonObject{{"app", "Zoom"}, {"screen", true}, {"mode", *c.mode}}));
        EXPECT_EQ(w.lastRequest().timeout, 60.0);
        w.http.answer(200, kMeeting);
        EXPECT_TRUE(w.app->statusPoll.state.recording);
        EXPECT_EQ(w.app->watcher.triggerApp, "Zoom");
        EXPECT_TRUE(w.browser.opened.isEmpty());  // the kept `app` still decides the page
    }
}

TEST(RecordingStart, ASecondQuestionIsAskedAgainAndAMissingTitleReadsThisMeeting) {
    RecordingWorld w;
    w.question.answers = {1, 0};
    w.app->recordingControl.start();
    w.http.answer(409, {{"needs_mode", true}, {"meeting", QJsonObject{{"title", 7}}}});
    w.http.answer(409, {{"needs_mode", true}});
    ASSERT_EQ(w.question.asked.size(), 2u);
    EXPECT_EQ(w.question.asked[0].text, "\u201CThis meeting\u201D already has a recording");
    EXPECT_EQ(w.question.asked[1].text, "\u201CThis meeting\u201D already has a recording");
    ASSERT_EQ(w.http.requests.size(), 3u);
    EXPECT_EQ(w.lastRequest().body, (QJsonObject{{"mode", "append"}}));
}

TEST(RecordingStart, FailuresShowTheBackendsErrorOrTheDefault) {
    struct Case {
        const char* name;
        int status;
        QJsonObject reply;
        QString message;
    };
    const QString fallback = "Could not start recording.";
    const Case cases[] = {
        {"no answer", 0, {}, fallback},
        {"server error with text", 500, {{"error", "Disk full"}}, "Disk full"},
        {"409 without needs_mode", 409, {{"error", "Busy"}}, "Busy"},
        {"409 with needs_mode false", 409, {{"needs_mode", false}, {"error", "Busy"}}, "Busy"},
        {"409 with needs_mode as text", 409, {{"needs_mode", "true"}}, fallback},
        {"200 without a meeting", 200, {}, fallback},
        {"200 with a meeting that is not an object", 200, {{"meeting", "m1"}}, fallback},
        {"error that is not text", 400, {{"error", 12}}, fallback},
    };
    for (const Case& c : cases) {
        RecordingWorld w;
        w.app->recordingControl.start({.app = "Zoom"});
        w.http.answer(c.status, c.reply);
        EXPECT_TRUE(w.question.asked.empty()) << c.name;
        EXPECT_FALSE(w.app->statusPoll.state.recording) << c.name;
        EXPECT_FALSE(w.app->watcher.triggerApp.has_value()) << c.name;
        EXPECT_FALSE(w.app->statusPoll.state.startedAt.has_value()) << c.name;
        EXPECT_TRUE(w.item->titles.isEmpty()) << c.name;
        ASSERT_EQ(w.prompt.shown.size(), 1u) << c.name;
        const FakePrompt::Shown& p = w.prompt.shown[0];
        EXPECT_EQ(p.title, "Quorvia");
        EXPECT_EQ(p.subtitle, c.message) << c.name;
        EXPECT_EQ(p.primary, "Open");
        EXPECT_EQ(p.secondary, "Close");
        EXPECT_EQ(p.seconds, 25.0);
    }
}

TEST(RecordingAlert, OpenGoesHomeAndCloseDoesNothing) {
    RecordingWorld w;
    w.app->recordingControl.alert("Busy");
    w.prompt.clickSecondary();
    EXPECT_TRUE(w.browser.opened.isEmpty());
    w.app->recordingControl.alert("Busy");
    w.prompt.clickPrimary();
    EXPECT_EQ(w.browser.opened, QStringList{WEB + "/"});
}

TEST(RecordingStop, SavedRecordingsOfferTheirMeeting) {
    struct Case {
        const char* name;
        std::optional<QString> note;
        QJsonObject reply;
        QString title, subtitle;
    };
    const QString writing = "The minutes are being written now.";
    const QString later = "Write the minutes whenever you are ready.";
    const Case cases[] = {
        {"minutes started",
         std::nullopt,
         {{"meeting_id", "m1"}, {"run_id", "r1"}},
         "Recording saved",
         writing},
        {"no minutes yet", std::nullopt, {{"meeting_id", "m1"}}, "Recording saved", later},
        {"run id not text",
         std::nullopt,
         {{"meeting_id", "m1"}, {"run_id", 3}},
         "Recording saved",
         later},
        {"ended call",
         "Zoom call ended. Recording saved",
         {{"meeting_id", "m1"}},
         "Zoom call ended. Recording saved",
         later},
    };
    for (const Case& c : cases) {
        RecordingWorld w;
        w.app->statusPoll.state.recording = true;
        w.app->watcher.triggerApp = "Zoom";
        w.app->statusPoll.state.meetingId = "m0";
        w.app->statusPoll.state.startedAt = 5.0;
        w.app->recordingControl.stop(c.note);
        ASSERT_EQ(w.http.requests.size(), 1u);
        EXPECT_EQ(w.lastRequest().path, "/api/native/stop");
        EXPECT_EQ(w.lastRequest().method, "POST");
        EXPECT_EQ(w.lastRequest().body, QJsonObject{});
        EXPECT_EQ(w.lastRequest().timeout, 120.0);
        EXPECT_TRUE(w.app->statusPoll.state.recording)
            << "nothing changes while the request is in flight";
        w.http.answer(200, c.reply);
        EXPECT_FALSE(w.app->statusPoll.state.recording);
        EXPECT_FALSE(w.app->watcher.triggerApp.has_value());
        // The next status poll settles these.
        EXPECT_EQ(w.app->statusPoll.state.meetingId, "m0");
        EXPECT_EQ(w.app->statusPoll.state.startedAt, 5.0);
        EXPECT_EQ(w.item->titles, QStringList{""});
        ASSERT_EQ(w.prompt.shown.size(), 1u);
        const FakePrompt::Shown& p = w.prompt.shown[0];
        EXPECT_EQ(p.title, c.title) << c.name;
        EXPECT_EQ(p.subtitle, c.subtitle) << c.name;
        EXPECT_EQ(p.primary, "Open meeting");
        EXPECT_EQ(p.secondary, "Close");
        EXPECT_EQ(p.seconds, 20.0);
        w.prompt.clickPrimary();
        EXPECT_EQ(w.browser.opened, QStringList{WEB + "/#/m/m1"}) << c.name;
    }
}

TEST(RecordingStop, FailuresStillEndTheRecordingAndSayWhy) {
    struct Case {
        int status;
        QJsonObject reply;
        QString message;
    };
    const QString fallback = "Could not save the recording.";
    const Case cases[] = {
        {0, {}, fallback},
        {409, {{"error", "Nothing is recording."}}, "Nothing is recording."},
        {200, {}, fallback},                      // success needs the meeting id
        {200, {{"meeting_id", 4}}, fallback},     // as text
        {500, {{"meeting_id", "m1"}}, fallback},  // and status 200
    };
    for (const Case& c : cases) {
        RecordingWorld w;
        w.app->statusPoll.state.recording = true;
        w.app->statusPoll.state.startedAt = 5.0;
        w.app->recordingControl.stop("Zoom call ended. Recording saved");
        w.http.answer(c.status, c.reply);
        EXPECT_FALSE(w.app->statusPoll.state.recording);
        EXPECT_EQ(w.item->titles, QStringList{""});
        ASSERT_EQ(w.prompt.shown.size(), 1u);
        const FakePrompt::Shown& p = w.prompt.shown[0];
        EXPECT_EQ(p.title, "Quorvia");
        EXPECT_EQ(p.subtitle, c.message) << c.status;
        EXPECT_EQ(p.primary, "Open");
        EXPECT_EQ(p.seconds, 25.0);
    }
}

}  // namespace
