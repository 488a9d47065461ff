// Nothing runs behind the add-or-replace question: while it is open the poll, the call watcher
// and the reminder hold still, no start or stop can be sent, and replies already on their way
// complete without asking anything or showing a card; after the attempt has ended everything
// resumes on fresh state.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTimeZone>
#include <utility>

#include "app_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

QString iso(double when) {
    return QDateTime::fromSecsSinceEpoch(qint64(when), QTimeZone::utc()).toString(Qt::ISODate);
}

const QString kStatus = QStringLiteral("/api/native/status");
const QString kSoon = QStringLiteral("/api/calendar/soon");
const QString kStart = QStringLiteral("/api/native/start");
const QString kStop = QStringLiteral("/api/native/stop");

// A running App over a backend that answers polls and soon-meeting checks at once with what
// the test sets, unless told to leave them waiting.
struct HoldWorld : AppWorld {
    std::vector<MicUser> mic;
    QJsonObject backendStatus{{"recording", false}};
    bool answerPolls = true;
    QJsonArray soon;  // the meetings that start soon
    bool answerSoon = true;
    std::unique_ptr<App> app;

    HoldWorld() {
        AppServices s = services();
        s.micUsers = [this] { return mic; };
        http.onSend = [this](FakeHttp::Request& r) {
            if (r.path == kStatus && answerPolls)
                answerNow(r, 200, backendStatus);
            else if (r.path == kSoon && answerSoon)
                answerNow(r, 200, {{"events", soon}});
            else if (r.path == "/api/calendar/upcoming")
                answerNow(r, 200, {{"events", QJsonArray{}}});
        };
        calendar.notDecided = true;
        app = std::make_unique<App>(s);
        app->applicationDidFinishLaunching();
        background.finish();
    }
    static void answerNow(FakeHttp::Request& r, int status, const QJsonObject& reply) {
        // The answer may send requests, which moves the list: take the callback out first.
        const HttpDone done = std::exchange(r.done, nullptr);
        done(status, reply);
    }
    // Answers the oldest request to `path` still waiting; false when none waits.
    bool answer(const QString& path, int status, const QJsonObject& reply = {}) {
        for (FakeHttp::Request& r : http.requests) {
            if (r.path == path && r.done) {
                answerNow(r, status, reply);
                return true;
            }
        }
        return false;
    }
    int waiting(const QString& path) const {
        int n = 0;
        for (const FakeHttp::Request& r : http.requests) n += r.path == path && r.done ? 1 : 0;
        return n;
    }
    QStringList pathsSince(size_t from) const {
        QStringList paths;
        for (size_t i = from; i < http.requests.size(); ++i) paths.append(http.requests[i].path);
        return paths;
    }
    QStringList promptTitles() const {
        QStringList titles;
        for (const FakePrompt::Shown& s : prompt.shown) titles.append(s.title);
        return titles;
    }
    QString marker() const { return server.dataDir() + "/ask_calendar"; }
    QJsonObject soonEntry(const QString& key) const {
        return {{"key", key}, {"title", "Planning"}, {"start", iso(clock.now() + 120)}};
    }
};

TEST(QuestionHold, NothingRunsBehindTheQuestionAndEachAnswerResumesOnFreshState) {
    struct Case {
        const char* name;
        std::optional<int> answer;    // the button chosen; none for Cancel
        std::optional<QString> mode;  // the start sent again
        int againStatus;              // its answer
        QJsonObject againReply;
        QJsonObject backendAfter;  // what the backend reports after the attempt
        bool recordingAfter;
        QStringList promptsAfter;  // shown once everything runs again
        bool cardAfter;
    };
    const QJsonObject meeting{{"meeting", QJsonObject{{"id", "m2"}}}};
    const Case cases[] = {
        {"Cancel",
         std::nullopt,
         std::nullopt,
         0,
         {},
         {{"recording", false}},
         false,
         {"Zoom is using your microphone"},
         true},
        {"Add to it",
         0,
         "append",
         200,
         meeting,
         {{"recording", true}, {"meeting_id", "m2"}},
         true,
         {},
         false},
        {"Replace it, refused",
         1,
         "replace",
         500,
         {{"error", "Busy"}},
         {{"recording", false}},
         false,
         {"Quorvia"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HoldWorld w;
        // Thirty seconds of ordinary running, then a poll and a soon-meeting check that the
        // backend has not answered yet when the question opens.
        w.clock.advance(29);
        w.answerPolls = w.answerSoon = false;
        w.clock.advance(1.5);
        ASSERT_EQ(w.waiting(kStatus), 1);
        ASSERT_EQ(w.waiting(kSoon), 1);
        QFile(w.marker()).open(QIODevice::WriteOnly);

        size_t mark = 0;
        w.question.answers = {c.answer};
        w.question.whileOpen = [&] {
            // A call begins, the in-flight poll reports a recording (with a request for the
            // calendar), the in-flight check reports a meeting about to start.
            w.mic = {{.pid = 42, .name = "Zoom"}};
            ASSERT_TRUE(w.answer(kStatus, 200,
                                 {{"recording", true}, {"started_at", iso(w.clock.now() - 5)}}));
            ASSERT_TRUE(w.answer(kSoon, 200, {{"events", QJsonArray{w.soonEntry("k1")}}}));
            EXPECT_TRUE(w.app->statusPoll.state.recording);  // the reply completed
            EXPECT_TRUE(QFileInfo::exists(w.marker()));      // but asked nothing
            EXPECT_EQ(w.calendar.requests, 0);
            EXPECT_TRUE(w.card.shown.empty());

            // A minute and a half with the question open: no poll, no pass, no check; the
            // controls of the tray and of panels start and stop nothing.
            mark = w.http.requests.size();
            w.answerPolls = w.answerSoon = true;
            w.soon = {w.soonEntry("k1")};
            w.clock.advance(90);
            w.app->recordingControl.startRec();
            w.app->recordingControl.stopRec();
            w.app->recordingControl.start({.app = "Zoom"});
            EXPECT_EQ(w.pathsSince(mark), QStringList{});
            EXPECT_TRUE(w.prompt.shown.empty());
            EXPECT_TRUE(w.card.shown.empty());
            EXPECT_TRUE(w.app->watcher.seenSince.isEmpty());
            w.backendStatus = c.backendAfter;
        };
        w.app->recordingControl.startRec();
        ASSERT_TRUE(w.answer(kStart, 409,
                             {{"needs_mode", true}, {"meeting", QJsonObject{{"title", "Sync"}}}}));
        ASSERT_EQ(w.question.asked.size(), 1u);
        ASSERT_NE(mark, 0u);

        if (c.mode) {
            // The start sent again with the answer holds everything until it is answered.
            ASSERT_EQ(w.pathsSince(mark), QStringList{kStart});
            EXPECT_EQ(w.http.requests.back().body->value("mode").toString(), *c.mode);
            w.clock.advance(20);
            EXPECT_EQ(w.pathsSince(mark), QStringList{kStart});
            ASSERT_TRUE(w.answer(kStart, c.againStatus, c.againReply));
        }
        EXPECT_EQ(w.pathsSince(mark).size(), c.mode ? 1 : 0);
        // Everything that fell due meanwhile runs once, at once, the poll first.
        const size_t resumed = w.http.requests.size();
        w.clock.advance(0);
        const QStringList after = w.pathsSince(resumed);
        ASSERT_FALSE(after.isEmpty());
        EXPECT_EQ(after.front(), kStatus);
        EXPECT_EQ(after.count(kStatus), 1);
        EXPECT_EQ(after.contains(kSoon), !c.recordingAfter);
        EXPECT_EQ(w.app->statusPoll.state.recording, c.recordingAfter);
        // The chores of the fresh poll, held back before, are done now.
        EXPECT_FALSE(QFileInfo::exists(w.marker()));
        EXPECT_EQ(w.calendar.requests, 1);

        // The call is seen from its first pass after the question, and offered after its
        // grace time when nothing else holds the user's attention.
        w.clock.advance(4.5);
        EXPECT_EQ(w.promptTitles(), c.promptsAfter);
        EXPECT_EQ(w.card.shown.size(), c.cardAfter ? 1u : 0u);
        EXPECT_EQ(w.pathsSince(resumed).count(kStop), 0);
    }
}

TEST(QuestionHold, AnotherStartsQuestionWhileOneIsOpenEndsWithoutAskingOrSending) {
    HoldWorld w;
    const QJsonObject needsMode{{"needs_mode", true}, {"meeting", QJsonObject{{"title", "A"}}}};
    w.app->recordingControl.start({.app = "Zoom"});  // e.g. from an offer, a moment earlier
    w.app->recordingControl.startRec();
    size_t mark = 0;
    w.question.answers = {0};
    w.question.whileOpen = [&] {
        // The other start's answer also wants the question.
        mark = w.http.requests.size();
        ASSERT_TRUE(w.answer(kStart, 409, needsMode));
    };
    // The second start's answer opens the question first.
    ASSERT_EQ(w.http.requests.back().body, QJsonObject{});
    HoldWorld::answerNow(w.http.requests.back(), 409, needsMode);
    EXPECT_EQ(w.question.asked.size(), 1u);
    // Only the answered attempt is sent again, once.
    ASSERT_EQ(w.pathsSince(mark), QStringList{kStart});
    EXPECT_EQ(w.http.requests.back().body, (QJsonObject{{"mode", "append"}}));
    EXPECT_TRUE(w.prompt.shown.empty());

    // Its answer ends the hold: the poll runs again.
    ASSERT_TRUE(w.answer(kStart, 200, {{"meeting", QJsonObject{{"id", "m1"}}}}));
    const size_t resumed = w.http.requests.size();
    w.clock.advance(2);
    EXPECT_TRUE(w.pathsSince(resumed).contains(kStatus));
}

TEST(QuestionHold, AStartAnswerThatTimesOutEndsTheHoldWithItsMessage) {
    HoldWorld w;
    w.question.answers = {1};
    w.app->recordingControl.startRec();
    ASSERT_TRUE(w.answer(kStart, 409, {{"needs_mode", true}}));
    const size_t mark = w.http.requests.size();
    w.clock.advance(30);
    EXPECT_EQ(w.pathsSince(mark), QStringList{});
    ASSERT_TRUE(w.answer(kStart, 0));
    EXPECT_EQ(w.promptTitles(), QStringList{"Quorvia"});
    w.clock.advance(0);
    EXPECT_EQ(w.pathsSince(mark).count(kStatus), 1);
}

}  // namespace
