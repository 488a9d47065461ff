// The calendar as App runs it: loading the upcoming meetings, the menu rows' actions, and the
// soon-meeting reminder over a backend the test answers.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <vector>

#include "app_fixture.h"
#include "main/constants.h"

using namespace qv;
using namespace qv::test;

namespace {

QString iso(double when) {
    return QDateTime::fromSecsSinceEpoch(qint64(when), QTimeZone::utc()).toString(Qt::ISODate);
}

// The requests sent to one path, in order.
std::vector<FakeHttp::Request*> requestsTo(FakeHttp& http, const QString& path) {
    std::vector<FakeHttp::Request*> out;
    for (FakeHttp::Request& r : http.requests) {
        if (r.path == path) out.push_back(&r);
    }
    return out;
}

struct CalendarWorld : AppWorld {
    App app{services()};

    // Answers the last request to `path`.
    void answer(const QString& path, int status, const QJsonObject& reply = {}) {
        auto sent = requestsTo(http, path);
        ASSERT_FALSE(sent.empty()) << path.toStdString();
        sent.back()->done(status, reply);
    }
    // A meeting starting `in` seconds from now, lasting half an hour.
    QJsonObject entry(const QString& key, double in = 60) {
        const double start = clock.now() + in;
        return {{"key", key},
                {"title", "Meeting " + key},
                {"start", iso(start)},
                {"end", iso(start + 1800)},
                {"url", "https://example.zoom.us/j/" + key},
                {"service", "zoom"},
                {"event", QJsonObject{{"id", key}, {"source", "calendar"}}}};
    }
};

TEST(UpcomingMeetings, AWellFormedListReplacesTheCacheAnythingElseKeepsIt) {
    const QJsonObject a{{"key", "a"}}, b{{"key", "b"}};
    struct Case {
        const char* name;
        int status;
        QJsonObject reply;
        QJsonArray kept;
    };
    const Case cases[] = {
        {"new list", 200, {{"events", QJsonArray{b, a}}}, {b, a}},
        {"empty list empties", 200, {{"events", QJsonArray{}}}, {}},
        {"server error", 500, {{"events", QJsonArray{b}}}, {a}},
        {"no answer", 0, {}, {a}},
        {"no events", 200, {{"upcoming", QJsonArray{b}}}, {a}},
        {"events not an array", 200, {{"events", b}}, {a}},
        {"an element not an object", 200, {{"events", QJsonArray{b, 3}}}, {a}},
    };
    for (const Case& c : cases) {
        CalendarWorld w;
        w.app.meetings.upcoming = {a};
        w.app.meetings.loadUpcoming();
        ASSERT_EQ(w.http.requests.size(), 1u);
        const FakeHttp::Request& r = w.http.requests[0];
        EXPECT_EQ(r.path, "/api/calendar/upcoming");
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.body, std::nullopt);
        EXPECT_EQ(r.timeout, 25.0);
        w.http.answer(c.status, c.reply);
        EXPECT_EQ(w.app.meetings.upcoming, c.kept) << c.name;
    }
}

TEST(UpcomingMeetings, TheMenuShowsTheCachedListAndThenReloadsIt) {
    CalendarWorld w;
    w.app.meetings.upcoming = {w.entry("a", 120)};
    MenuRows rows = w.app.menu.menuNeedsUpdate();
    ASSERT_GE(rows.size(), 5u);
    EXPECT_EQ(rows[0].title, "Next \u00B7 in 2m");
    EXPECT_EQ(rows[1].title, "Meeting a");
    EXPECT_EQ(rows[2].title, "Join & record");
    EXPECT_EQ(rows[3].kind, MenuRow::Kind::Separator);
    EXPECT_EQ(rows[4].title, "Open Quorvia");

    // The reload started by this opening shows at the next one.
    ASSERT_EQ(requestsTo(w.http, "/api/calendar/upcoming").size(), 1u);
    w.answer("/api/calendar/upcoming", 200, {{"events", QJsonArray{}}});
    rows = w.app.menu.menuNeedsUpdate();
    EXPECT_EQ(rows[0].title, "Open Quorvia");
}

TEST(UpcomingMeetings, ChoosingAMeetingOpensItsEventAsAMeetingPage) {
    CalendarWorld w;
    const QJsonObject entry = w.entry("abc", 3600);
    w.app.meetings.upcoming = {entry};
    MenuRows rows = w.app.menu.menuNeedsUpdate();
    ASSERT_EQ(rows[1].title, "Meeting abc");
    rows[1].trigger();
    auto sent = requestsTo(w.http, "/api/calendar/open");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]->method, "POST");
    EXPECT_EQ(sent[0]->timeout, 20.0);
    // Exactly the event object, not wrapped.
    EXPECT_EQ(sent[0]->body, entry.value("event").toObject());
    sent[0]->done(200, {{"id", "abc"}});
    EXPECT_EQ(w.browser.opened, QStringList{WEB + "/#/m/abc"});
}

TEST(UpcomingMeetings, OpeningIgnoresAnythingButAnIdAndNeedsAnEvent) {
    const std::pair<int, QJsonObject> answers[] = {
        {404, {{"id", "abc"}}}, {200, {{"id", 5}}}, {200, {}}, {0, {}}};
    for (const auto& [status, reply] : answers) {
        CalendarWorld w;
        w.app.meetings.openEvent(w.entry("abc"));
        w.answer("/api/calendar/open", status, reply);
        EXPECT_TRUE(w.browser.opened.isEmpty()) << status;
    }
    CalendarWorld w;
    QJsonObject noEvent = w.entry("abc");
    noEvent.remove("event");
    w.app.meetings.openEvent(noEvent);
    noEvent["event"] = "not an object";
    w.app.meetings.openEvent(noEvent);
    EXPECT_TRUE(w.http.requests.empty());
}

TEST(UpcomingMeetings, JoinAndRecordOpensOnlySafeLinksAndAlwaysStartsTheRecording) {
    struct Case {
        QJsonValue url;
        QStringList opened;
    };
    const Case cases[] = {
        {"https://example.zoom.us/j/1", {"https://example.zoom.us/j/1"}},
        {"zoommtg://zoom.us/join?confno=1", {"zoommtg://zoom.us/join?confno=1"}},
        {"example.zoom.us/j/1", {}},  // no scheme
        {"file:///home/user/.bashrc", {}},
        {"smb://fileserver/share/setup.exe", {}},
        {"javascript:alert(1)", {}},
        {"data:text/html,hello", {}},
        {"vnc://host", {}},
        {QJsonValue(), {}},
    };
    for (const Case& c : cases) {
        CalendarWorld w;
        QJsonObject entry = w.entry("k");
        if (c.url.isUndefined()) {
            entry.remove("url");
        } else {
            entry["url"] = c.url;
        }
        w.app.meetings.joinRecordEvent(entry);
        EXPECT_EQ(w.browser.opened, c.opened) << c.url.toString().toStdString();
        auto starts = requestsTo(w.http, "/api/native/start");
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0]->timeout, 60.0);
        EXPECT_EQ(starts[0]->body, (QJsonObject{{"event", entry.value("event")}}));
        // Recorded, and the meeting's page is not opened.
        starts[0]->done(200, {{"meeting", QJsonObject{{"id", "m1"}}}});
        EXPECT_TRUE(w.app.statusPoll.state.recording);
        EXPECT_EQ(w.browser.opened, c.opened);
    }
}

TEST(UpcomingMeetings, JoinAndRecordWithoutAnEventSendsAnEmptyStart) {
    CalendarWorld w;
    QJsonObject entry = w.entry("k");
    entry["event"] = QJsonArray{1};
    w.app.meetings.joinRecordEvent(entry);
    auto starts = requestsTo(w.http, "/api/native/start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->body, QJsonObject{});
}

// The reminder.

TEST(SoonReminder, NoRequestDuringSetupOrAnyRecording) {
    struct Case {
        bool setupDone, recording, browserRecording, asks;
    };
    for (const Case& c : {Case{false, false, false, false}, Case{true, true, false, false},
                          Case{true, false, true, false}, Case{true, false, false, true}}) {
        CalendarWorld w;
        w.app.statusPoll.state.setupDone = c.setupDone;
        w.app.statusPoll.state.recording = c.recording;
        w.app.statusPoll.state.browserRecording = c.browserRecording;
        w.app.meetings.checkSoon();
        EXPECT_EQ(w.http.requests.size(), c.asks ? 1u : 0u);
    }
    CalendarWorld w;
    w.app.meetings.checkSoon();
    EXPECT_EQ(w.http.requests[0].path, "/api/calendar/soon");
    EXPECT_EQ(w.http.requests[0].method, "GET");
    EXPECT_EQ(w.http.requests[0].timeout, 25.0);
}

TEST(SoonReminder, ARecordingStartedWhileAskingDropsTheAnswer) {
    CalendarWorld w;
    w.app.meetings.checkSoon();
    w.app.statusPoll.state.recording = true;
    w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{w.entry("a")}}});
    EXPECT_TRUE(w.card.shown.empty());
    EXPECT_TRUE(w.app.meetings.reminded.isEmpty());
}

TEST(SoonReminder, EachKeyIsShownOnceAndTheNextNewOneOnTheNextPoll) {
    CalendarWorld w;
    const QJsonObject a = w.entry("a"), b = w.entry("b", 120);
    QJsonObject aRenamed = a;
    aRenamed["title"] = "Renamed";
    aRenamed["start"] = iso(w.clock.now() + 600);
    // Each poll's answer, and the titles of the cards shown so far after it.
    const std::vector<std::pair<QJsonArray, QStringList>> polls = {
        {{a, b}, {"Meeting a"}},
        {{aRenamed, b}, {"Meeting a", "Meeting b"}},
        {{a, b}, {"Meeting a", "Meeting b"}},
        {{}, {"Meeting a", "Meeting b"}},
    };
    for (const auto& [events, titles] : polls) {
        w.app.meetings.checkSoon();
        w.answer("/api/calendar/soon", 200, {{"events", events}});
        QStringList shown;
        for (const auto& card : w.card.shown) shown << card.title;
        EXPECT_EQ(shown, titles);
    }
    EXPECT_EQ(w.app.meetings.reminded, (QSet<QString>{"a", "b"}));
    // Nothing new leaves the visible card alone.
    EXPECT_TRUE(w.card.visible());
}

TEST(SoonReminder, FailedOrMalformedAnswersShowNothing) {
    const std::pair<int, QJsonObject> answers[] = {
        {500, {{"events", QJsonArray{QJsonObject{{"key", "a"}}}}}},
        {0, {}},
        {200, {}},
        {200, {{"events", QJsonObject{{"key", "a"}}}}},
        {200, {{"events", QJsonArray{QJsonObject{{"key", "a"}}, "b"}}}},
    };
    for (const auto& [status, reply] : answers) {
        CalendarWorld w;
        w.app.meetings.checkSoon();
        w.answer("/api/calendar/soon", status, reply);
        EXPECT_TRUE(w.card.shown.empty()) << status;
        EXPECT_TRUE(w.app.meetings.reminded.isEmpty()) << status;
    }
}

TEST(SoonReminder, AnEntryWithoutAKeyHoldsBackTheEntriesAfterIt) {
    CalendarWorld w;
    QJsonObject keyless = w.entry("x"), numberKey = w.entry("y");
    keyless.remove("key");
    numberKey["key"] = 7;
    const QJsonObject a = w.entry("a");
    for (const QJsonObject& blocker : {keyless, numberKey, keyless}) {
        w.app.meetings.checkSoon();
        w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{blocker, a}}});
    }
    EXPECT_TRUE(w.card.shown.empty());
    EXPECT_TRUE(w.app.meetings.reminded.isEmpty());
    // Listed after a new entry it does not stop that one.
    w.app.meetings.checkSoon();
    w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{a, keyless}}});
    ASSERT_EQ(w.card.shown.size(), 1u);
    EXPECT_EQ(w.card.shown[0].title, "Meeting a");
}

TEST(SoonReminder, TheCardGetsTheEntrysTextsWithTheirDefaults) {
    CalendarWorld w;
    const double now = w.clock.now();
    const QJsonObject full{{"key", "k1"},
                           {"title", "Design review"},
                           {"start", iso(now - 120)},
                           {"end", iso(now + 1800)},
                           {"url", "https://example.zoom.us/j/1"},
                           {"service", "teams"},
                           {"color", "#1E90FF"},
                           {"brief", "Agenda: **budget**"}};
    const QJsonObject bare{{"key", "k2"},
                           {"title", 5},
                           {"start", "2026-12-09T09:30:00.5Z"},
                           {"end", "tomorrow"},
                           {"color", QJsonValue()},
                           {"brief", QJsonArray{}}};
    w.app.meetings.checkSoon();
    w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{full}}});
    w.app.meetings.checkSoon();
    w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{full, bare}}});
    ASSERT_EQ(w.card.shown.size(), 2u);
    const FakeMeetingCard::Shown& f = w.card.shown[0];
    EXPECT_EQ(f.title, "Design review");
    EXPECT_EQ(f.start, now - 120);  // already started: still shown
    EXPECT_EQ(f.end, now + 1800);
    EXPECT_EQ(f.color, "#1E90FF");
    EXPECT_EQ(f.service, "teams");
    EXPECT_EQ(f.brief, "Agenda: **budget**");
    EXPECT_TRUE(f.onJoin);
    EXPECT_EQ(f.seconds, 150.0);
    const FakeMeetingCard::Shown& b = w.card.shown[1];
    EXPECT_EQ(b.title, "Meeting");
    EXPECT_EQ(b.start, now);
    EXPECT_EQ(b.end, std::nullopt);  // a missing end is not replaced by the start
    EXPECT_EQ(b.color, "");
    EXPECT_EQ(b.service, "");
    EXPECT_EQ(b.brief, "");
    EXPECT_FALSE(b.onJoin);
}

// Runs one card action of a fresh reminder for `entry`; returns the world to inspect.
std::unique_ptr<CalendarWorld> runAction(const QJsonObject& entry,
                                         std::function<void()> FakeMeetingCard::Shown::*action) {
    auto w = std::make_unique<CalendarWorld>();
    w->app.meetings.checkSoon();
    w->answer("/api/calendar/soon", 200, {{"events", QJsonArray{entry}}});
    EXPECT_EQ(w->card.shown.size(), 1u);
    w->card.run(action);
    return w;
}

TEST(SoonReminder, JoinAndRecordOpensTheLinkBeforeItAsksToRecord) {
    CalendarWorld probe;
    const QJsonObject entry = probe.entry("a");
    auto w = std::make_unique<CalendarWorld>();
    std::vector<size_t> requestsAtOpen;
    w->browser.onOpen = [&](const QUrl&) { requestsAtOpen.push_back(w->http.requests.size()); };
    w->app.meetings.checkSoon();
    w->answer("/api/calendar/soon", 200, {{"events", QJsonArray{entry}}});
    w->card.run(&FakeMeetingCard::Shown::onJoinRecord);
    EXPECT_EQ(w->browser.opened, QStringList{"https://example.zoom.us/j/a"});
    EXPECT_EQ(requestsAtOpen, std::vector<size_t>{1});  // only the soon request before it
    auto starts = requestsTo(w->http, "/api/native/start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->body, (QJsonObject{{"event", entry.value("event")}}));
    starts[0]->done(200, {{"meeting", QJsonObject{{"id", "m1"}}}});
    EXPECT_TRUE(w->app.statusPoll.state.recording);
    EXPECT_EQ(w->browser.opened.size(), 1);  // the meeting's page stays closed
}

TEST(SoonReminder, CardActionsRequestsAndPages) {
    using Action = std::function<void()> FakeMeetingCard::Shown::*;
    CalendarWorld probe;
    const QJsonObject linked = probe.entry("a");
    QJsonObject unlinked = linked, noEvent = linked, unsafe = linked;
    unlinked.remove("url");
    noEvent.remove("event");
    unsafe["url"] = "file:///etc/passwd";
    const QJsonObject startWithEvent{{"event", linked.value("event")}};
    struct Case {
        const char* name;
        QJsonObject entry;
        Action action;
        const char* path;  // the request the action sends, or nullptr
        QJsonObject body;
        QStringList opened;  // after a 200 answer with meeting or id "m1"
    };
    const Case cases[] = {
        {"join",
         linked,
         &FakeMeetingCard::Shown::onJoin,
         nullptr,
         {},
         {"https://example.zoom.us/j/a"}},
        {"record a joinable meeting",
         linked,
         &FakeMeetingCard::Shown::onRecord,
         "/api/native/start",
         startWithEvent,
         {}},
        {"record a meeting without link",
         unlinked,
         &FakeMeetingCard::Shown::onRecord,
         "/api/native/start",
         startWithEvent,
         {WEB + "/#/m/m1"}},
        {"record without event",
         noEvent,
         &FakeMeetingCard::Shown::onRecord,
         "/api/native/start",
         {},
         {}},
        {"open",
         linked,
         &FakeMeetingCard::Shown::onOpen,
         "/api/calendar/open",
         linked.value("event").toObject(),
         {WEB + "/#/m/m1"}},
        {"open without event",
         noEvent,
         &FakeMeetingCard::Shown::onOpen,
         "/api/calendar/open",
         {},
         {WEB + "/#/m/m1"}},
        // A link the agent does not open: nothing opens, the recording still starts.
        {"join and record, unsafe link",
         unsafe,
         &FakeMeetingCard::Shown::onJoinRecord,
         "/api/native/start",
         startWithEvent,
         {}},
        {"join, unsafe link", unsafe, &FakeMeetingCard::Shown::onJoin, nullptr, {}, {}},
    };
    for (const Case& c : cases) {
        auto w = runAction(c.entry, c.action);
        ASSERT_EQ(w->http.requests.size(), c.path ? 2u : 1u) << c.name;
        if (c.path) {
            FakeHttp::Request& r = w->http.requests[1];
            EXPECT_EQ(r.path, c.path) << c.name;
            EXPECT_EQ(r.method, "POST") << c.name;
            EXPECT_EQ(r.body, c.body) << c.name;
            EXPECT_EQ(r.timeout, r.path == "/api/native/start" ? 60.0 : 20.0) << c.name;
            r.done(200, {{"meeting", QJsonObject{{"id", "m1"}}}, {"id", "m1"}});
        }
        EXPECT_EQ(w->browser.opened, c.opened) << c.name;
    }
}

TEST(SoonReminder, TheStartUpPollsFindTheCardAfterEightSeconds) {
    CalendarWorld w;
    w.app.applicationDidFinishLaunching();
    w.background.finish();
    EXPECT_TRUE(requestsTo(w.http, "/api/calendar/soon").empty());
    w.clock.advance(8);
    ASSERT_EQ(requestsTo(w.http, "/api/calendar/soon").size(), 1u);
    w.answer("/api/calendar/soon", 200, {{"events", QJsonArray{w.entry("a")}}});
    EXPECT_EQ(w.card.shown.size(), 1u);
    w.clock.advance(30);
    EXPECT_EQ(requestsTo(w.http, "/api/calendar/soon").size(), 2u);
}

}  // namespace
