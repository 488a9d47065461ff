// The status poll: how each answer lands in App's fields, the page the first poll opens, the
// chores of a successful poll, and the restart for a changed listen address.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app_fixture.h"
#include "main/constants.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr double kMay1 = 1714557600;  // 2024-05-01T10:00:00Z

struct Before {
    std::optional<double> startedAt;
    std::optional<QString> triggerApp;
};

struct After {
    bool recording;
    bool browserRecording;
    std::optional<QString> meetingId;
    bool setupDone;
    std::optional<double> startedAt;
    std::optional<QString> triggerApp;
    QStringList opened;
};

struct ReplyCase {
    const char* name;
    bool first;
    Before before;
    int status;
    QJsonObject reply;
    After after;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

const QString kHome = WEB + "/";
const QString kSetup = WEB + "/#/setup";

class PollReplies : public testing::TestWithParam<ReplyCase> {};

TEST_P(PollReplies, AnswerLandsInTheFields) {
    const ReplyCase& c = GetParam();
    AppWorld w;
    App app(w.services());
    // A state the answer must overwrite (or, for a failed poll, leave alone).
    app.statusPoll.state.recording = true;
    app.statusPoll.state.browserRecording = true;
    app.statusPoll.state.meetingId = "old";
    app.statusPoll.state.setupDone = false;
    app.statusPoll.state.startedAt = c.before.startedAt;
    app.watcher.triggerApp = c.before.triggerApp;

    app.statusPoll.refresh(c.first);
    ASSERT_EQ(w.http.requests.size(), 1u);
    EXPECT_EQ(w.http.requests[0].path, "/api/native/status");
    EXPECT_EQ(w.http.requests[0].method, "GET");
    EXPECT_FALSE(w.http.requests[0].body.has_value());
    EXPECT_EQ(w.http.requests[0].timeout, 3.0);
    w.http.answer(c.status, c.reply);

    EXPECT_EQ(app.statusPoll.state.recording, c.after.recording);
    EXPECT_EQ(app.statusPoll.state.browserRecording, c.after.browserRecording);
    EXPECT_EQ(app.statusPoll.state.meetingId, c.after.meetingId);
    EXPECT_EQ(app.statusPoll.state.setupDone, c.after.setupDone);
    EXPECT_EQ(app.statusPoll.state.startedAt, c.after.startedAt);
    EXPECT_EQ(app.watcher.triggerApp, c.after.triggerApp);
    EXPECT_EQ(w.browser.opened, c.after.opened);
    // The permission file rides on every successful poll, and only on those.
    EXPECT_EQ(QFileInfo::exists(w.server.dataDir() + "/permissions.json"), c.status == 200);
}

const double kNow = FakeClock().now();
const Before kEmpty{};
const Before kStarted{kMay1 - 600, QString("Zoom")};

INSTANTIATE_TEST_SUITE_P(
    Table, PollReplies,
    testing::Values(
        ReplyCase{
            "recording_with_a_zoned_start",
            false,
            kEmpty,
            200,
            {{"recording", true}, {"started_at", "2024-05-01T10:00:00Z"}, {"meeting_id", "abc"}},
            {true, false, QString("abc"), true, kMay1, std::nullopt, {}}},
        ReplyCase{"fractional_seconds_with_no_known_start_count_from_now",
                  false,
                  kEmpty,
                  200,
                  {{"recording", true}, {"started_at", "2024-05-01T10:00:00.250Z"}},
                  {true, false, std::nullopt, true, kNow, std::nullopt, {}}},
        ReplyCase{"fractional_seconds_keep_a_known_start",
                  false,
                  kStarted,
                  200,
                  {{"recording", true}, {"started_at", "2024-05-01T10:00:00.250Z"}},
                  {true, false, std::nullopt, true, kMay1 - 600, QString("Zoom"), {}}},
        ReplyCase{"offset_start",
                  false,
                  kStarted,
                  200,
                  {{"recording", true}, {"started_at", "2024-05-01T12:00:00+02:00"}},
                  {true, false, std::nullopt, true, kMay1, QString("Zoom"), {}}},
        ReplyCase{"recording_without_a_start_leaves_it",
                  false,
                  kStarted,
                  200,
                  {{"recording", true}, {"started_at", 1714557600}},
                  {true, false, std::nullopt, true, kMay1 - 600, QString("Zoom"), {}}},
        ReplyCase{"recording_without_a_start_and_none_known",
                  false,
                  kEmpty,
                  200,
                  {{"recording", true}},
                  {true, false, std::nullopt, true, std::nullopt, std::nullopt, {}}},
        ReplyCase{"not_recording_empties_start_and_trigger",
                  false,
                  kStarted,
                  200,
                  {{"recording", false}, {"started_at", "2024-05-01T10:00:00Z"}},
                  {false, false, std::nullopt, true, std::nullopt, std::nullopt, {}}},
        ReplyCase{"recording_as_a_string_is_not_recording",
                  false,
                  kStarted,
                  200,
                  {{"recording", "true"},
                   {"browser_recording", 1},
                   {"meeting_id", 7},
                   {"setup_done", "false"}},
                  {false, false, std::nullopt, true, std::nullopt, std::nullopt, {}}},
        ReplyCase{"browser_recording",
                  false,
                  kEmpty,
                  200,
                  {{"recording", false}, {"browser_recording", true}},
                  {false, true, std::nullopt, true, std::nullopt, std::nullopt, {}}},
        ReplyCase{"status_500_changes_nothing",
                  true,
                  kStarted,
                  500,
                  {{"recording", false}, {"setup_done", true}},
                  {true, true, QString("old"), false, kMay1 - 600, QString("Zoom"), {}}},
        ReplyCase{"no_answer_changes_nothing",
                  true,
                  kStarted,
                  0,
                  {},
                  {true, true, QString("old"), false, kMay1 - 600, QString("Zoom"), {}}},
        ReplyCase{"first_poll_before_setup_opens_the_setup_page",
                  true,
                  kEmpty,
                  200,
                  {{"recording", false}, {"setup_done", false}},
                  {false, false, std::nullopt, false, std::nullopt, std::nullopt, {kSetup}}},
        ReplyCase{"first_poll_without_the_key_opens_the_home_page",
                  true,
                  kEmpty,
                  200,
                  {},
                  {false, false, std::nullopt, true, std::nullopt, std::nullopt, {kHome}}},
        ReplyCase{"later_polls_open_nothing",
                  false,
                  kEmpty,
                  200,
                  {{"setup_done", false}},
                  {false, false, std::nullopt, false, std::nullopt, std::nullopt, {}}}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.name; });

// Markers the backend leaves in the data folder.
class PollMarkers : public testing::Test {
  protected:
    void poll() {
        app.statusPoll.refresh(false);
        w.http.answer(200, {{"recording", false}});
    }
    void touch(const QString& name) {
        QFile f(w.server.dataDir() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    bool exists(const QString& name) { return QFileInfo::exists(w.server.dataDir() + "/" + name); }

    AppWorld w;
    App app{w.services()};
};

TEST_F(PollMarkers, AskRecordingIsTakenBeforeTheRequestRuns) {
    w.permissions.mic = MicAccess::Denied;
    w.permissions.screen = false;
    bool markerGoneDuringRequest = false;
    w.permissions.onRequest = [&] { markerGoneDuringRequest = !exists("ask_recording"); };
    touch("ask_recording");
    poll();
    EXPECT_FALSE(exists("ask_recording"));
    EXPECT_TRUE(markerGoneDuringRequest);
    EXPECT_EQ(w.permissions.settingsOpened, 1);  // asked with settings
    EXPECT_EQ(w.permissions.screenRequests, 1);
    EXPECT_EQ(w.foreground.activations, 1);
    poll();  // handled once
    EXPECT_EQ(w.permissions.settingsOpened, 1);
}

TEST_F(PollMarkers, AskCalendarIsTakenThenTheAgentComesForwardAndAsks) {
    w.calendar.notDecided = true;
    bool markerGoneDuringRequest = false;
    w.calendar.onRequest = [&] { markerGoneDuringRequest = !exists("ask_calendar"); };
    touch("ask_calendar");
    poll();
    EXPECT_FALSE(exists("ask_calendar"));
    EXPECT_TRUE(markerGoneDuringRequest);
    EXPECT_EQ(w.foreground.activations, 1);
    EXPECT_EQ(w.calendar.requests, 1);

    w.calendar.notDecided = false;  // decided: the marker only brings the agent forward
    touch("ask_calendar");
    poll();
    EXPECT_FALSE(exists("ask_calendar"));
    EXPECT_EQ(w.foreground.activations, 2);
    EXPECT_EQ(w.calendar.requests, 1);
}

TEST_F(PollMarkers, AMarkerThatCannotBeRemovedIsActedOnAtEachPoll) {
    // A folder with something in it cannot be removed as a marker.
    QDir().mkpath(w.server.dataDir() + "/ask_calendar/stuck");
    poll();
    poll();
    EXPECT_TRUE(exists("ask_calendar"));
    EXPECT_EQ(w.foreground.activations, 2);
}

TEST_F(PollMarkers, AFailedPollTakesNoMarker) {
    touch("ask_recording");
    app.statusPoll.refresh(false);
    w.http.answer(0);
    EXPECT_TRUE(exists("ask_recording"));
    EXPECT_EQ(w.foreground.activations, 0);
}

// The listen-address restart.
class PollRestart : public testing::Test {
  protected:
    void poll(bool recording = false) {
        app.statusPoll.refresh(false);
        w.http.answer(200, {{"recording", recording}});
    }
    void allowRemoteAccess() {
        QFile f(w.server.dataDir() + "/remote_access");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    using Calls = std::vector<std::string>;

    AppWorld w;
    App app{w.services()};
};

TEST_F(PollRestart, ChangedAddressRestartsTheLaunchedBackendOnce) {
    w.server.launches = true;
    w.server.launched("127.0.0.1");
    poll();
    EXPECT_TRUE(w.server.calls.empty());  // the address still fits

    allowRemoteAccess();
    poll();
    EXPECT_EQ(w.server.calls, (Calls{"stopServer", "start"}));
    EXPECT_TRUE(app.statusPoll.restarting);
    poll();  // while the restart's end has not reached the main thread: no second one
    EXPECT_EQ(w.server.calls, (Calls{"stopServer", "start"}));

    w.background.finish();
    EXPECT_FALSE(app.statusPoll.restarting);
    EXPECT_EQ(w.server.host(), "0.0.0.0");
    poll();
    EXPECT_EQ(w.server.calls, (Calls{"stopServer", "start"}));
}

TEST_F(PollRestart, WaitsUntilAPollReportsTheRecordingStopped) {
    w.server.launched("127.0.0.1");
    allowRemoteAccess();
    poll(true);
    poll(true);
    EXPECT_TRUE(w.server.calls.empty());
    app.statusPoll.refresh(false);
    w.http.answer(500, {{"recording", false}});
    EXPECT_TRUE(w.server.calls.empty());
    poll(false);
    EXPECT_EQ(w.server.calls, (Calls{"stopServer", "start"}));
}

TEST_F(PollRestart, ABackendTheAgentDidNotLaunchIsNeverRestarted) {
    allowRemoteAccess();
    poll();
    poll();
    EXPECT_TRUE(w.server.calls.empty());
    EXPECT_FALSE(app.statusPoll.restarting);
}

TEST_F(PollRestart, AFailedRestartStillClearsTheGuardAndTheNextPollDecidesAgain) {
    w.server.launched("127.0.0.1");  // launches stays false: start() brings nothing up
    allowRemoteAccess();
    poll();
    w.background.finish();
    EXPECT_FALSE(app.statusPoll.restarting);
    EXPECT_EQ(w.server.proc(), nullptr);
    poll();  // nothing launched by the agent any more: nothing to restart
    EXPECT_EQ(w.server.calls, (Calls{"stopServer", "start"}));
}

// A backend the agent launched that ends by itself is said to be gone at the next failed poll,
// and not while a restart stops it on purpose.
TEST_F(PollRestart, AFailedPollReportsTheLaunchedBackendGoneUnlessARestartStoppedIt) {
    for (bool restarting : {false, true}) {
        const auto process = Process::launch({"/bin/true", {}, {}, {}, -1});
        ASSERT_TRUE(waitFor([&] { return !process->running(); }, 10000));
        w.server.launched(process);
        app.statusPoll.restarting = restarting;
        LogCapture log;
        app.statusPoll.refresh(false);
        w.http.answer(0);
        EXPECT_EQ(log.containing("is gone").size(), restarting ? 0 : 1) << restarting;
        app.statusPoll.restarting = false;
    }
}

}  // namespace
