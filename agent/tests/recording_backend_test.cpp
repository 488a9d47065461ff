// Recording control end to end against the stand-in backend, through the real HTTP client.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "app_fixture.h"
#include "platform/qt_http_client.h"
#include "support/qt_wait.h"
#include "support/stand_in_backend.h"

using namespace qv;
using namespace qv::test;

namespace {

// An App whose requests go to the stand-in backend; everything else is faked.
struct BackendWorld : AppWorld {
    StandInBackend backend;
    QtHttpClient client{backend.base()};
    std::unique_ptr<App> app;
    BackendWorld() {
        AppServices s = services();
        app = std::make_unique<App>(AppServices{client, s.browser, s.clock, s.scheduler,
                                                s.background, s.settings, s.permissions, s.server,
                                                s.prompt, s.card, s.eventStore, nullptr,
                                                s.loginItem, s.question, s.foreground, s.files});
    }
    bool waitForPrompt(size_t count) {
        return waitFor([&] { return prompt.shown.size() >= count; }, 15000);
    }
};

TEST(RecordingWithBackend, StartAndStopByHandThenAStopWithNothingToStop) {
    BackendWorld w;
    ASSERT_TRUE(w.backend.ready());

    w.app->recordingControl.startRec();
    ASSERT_TRUE(waitFor([&] { return w.app->statusPoll.state.recording; }, 15000));
    const auto [status, now] = w.backend.call("GET", "/api/native/status");
    EXPECT_EQ(now.value("recording"), true);
    ASSERT_TRUE(w.app->statusPoll.state.meetingId.has_value());
    EXPECT_EQ(now.value("meeting_id").toString(), *w.app->statusPoll.state.meetingId);
    EXPECT_EQ(w.browser.opened,
              QStringList{"http://localhost:8765/#/m/" + *w.app->statusPoll.state.meetingId});

    w.app->recordingControl.stopRec();
    ASSERT_TRUE(w.waitForPrompt(1));
    EXPECT_FALSE(w.app->statusPoll.state.recording);
    EXPECT_EQ(w.prompt.shown[0].title, "Recording saved");
    EXPECT_EQ(w.prompt.shown[0].subtitle, "The minutes are being written now.");
    EXPECT_EQ(w.backend.call("GET", "/api/native/status").second.value("recording"), false);

    // The backend's own words reach the user.
    w.app->recordingControl.stopRec();
    ASSERT_TRUE(w.waitForPrompt(2));
    EXPECT_EQ(w.prompt.shown[1].title, "Quorvia");
    EXPECT_EQ(w.prompt.shown[1].subtitle, "Nothing is being recorded.");
}

TEST(RecordingWithBackend, AMeetingRecordedBeforeIsReplacedAfterTheQuestion) {
    BackendWorld w;
    ASSERT_TRUE(w.backend.ready());
    const QJsonObject event{
        {"id", "standup-1"}, {"title", "Weekly sync"}, {"start", "2026-12-10T09:30:00+01:00"}};

    w.app->recordingControl.start({.event = event, .openPage = false});
    ASSERT_TRUE(waitFor([&] { return w.app->statusPoll.state.recording; }, 15000));
    const std::optional<QString> meeting = w.app->statusPoll.state.meetingId;
    w.app->recordingControl.stop();
    ASSERT_TRUE(w.waitForPrompt(1));

    w.question.answers = {1};  // "Replace it"
    w.app->recordingControl.start({.event = event, .openPage = false});
    ASSERT_TRUE(waitFor([&] { return w.app->statusPoll.state.recording; }, 15000));
    ASSERT_EQ(w.question.asked.size(), 1u);
    EXPECT_EQ(w.question.asked[0].text, "\u201CWeekly sync\u201D already has a recording");
    EXPECT_EQ(w.app->statusPoll.state.meetingId, meeting);
    EXPECT_TRUE(w.browser.opened.isEmpty());

    const QJsonObject log = w.backend.call("GET", "/_control/requests").second;
    QStringList starts;
    for (const QJsonValue& r : log.value("requests").toArray()) {
        const QJsonObject request = r.toObject();
        if (request.value("path") == "/api/native/start")
            starts << request.value("body").toString();
    }
    ASSERT_EQ(starts.size(), 3);
    EXPECT_FALSE(starts[1].contains("mode"));
    EXPECT_TRUE(starts[2].contains("\"mode\":\"replace\""));
}

}  // namespace
