// The tray entry: the elapsed-time title and the status menu's rows and actions.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "core/status_title.h"
#include "main/constants.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST(ElapsedText, FormatsWholeSeconds) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},         {5, "0:05"},           {59, "0:59"},      {61, "1:01"},
        {599.99, "9:59"},    {3599, "59:59"},       {3599.9, "59:59"}, {3600, "1:00:00"},
        {37230, "10:20:30"}, {360000, "100:00:00"}, {-3, "0:00"},  // a start ahead of this
                                                                   // machine's clock
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(elapsedText(seconds).toStdString(), text) << seconds;
    }
}

// An App with a tray entry, launched.
struct TrayWorld : AppWorld {
    FakeStatusItem* item = nullptr;
    std::unique_ptr<App> app;
    TrayWorld() {
        app = std::make_unique<App>(services(fakeItem(item)));
        app->applicationDidFinishLaunching();
    }
};

TEST(StatusTitle, ShowsTheElapsedTimeOnlyWhileRecordingWithAStartTime) {
    struct Case {
        bool recording;
        std::optional<double> startedAgo;
        QString title;
    };
    const Case cases[] = {
        {true, 3599.9, "59:59"},  {true, 3600.0, "1:00:00"}, {true, 5, "0:05"},
        {true, std::nullopt, ""},  // recording reported before any start time was known
        {false, 5, ""},           {false, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        TrayWorld w;
        w.app->statusPoll.state.recording = c.recording;
        if (c.startedAgo) w.app->statusPoll.state.startedAt = w.clock.now() - *c.startedAgo;
        w.app->menu.updateButton();
        ASSERT_EQ(w.item->titles.size(), 1);
        EXPECT_EQ(w.item->titles.back(), c.title)
            << c.recording << " " << c.startedAgo.value_or(-1);
    }
}

TEST(StatusTitle, WithoutATrayEntryUpdatingDoesNothing) {
    AppWorld w;
    App app(w.services());
    app.applicationDidFinishLaunching();
    app.statusPoll.state.recording = true;
    app.statusPoll.state.startedAt = w.clock.now();
    app.menu.updateButton();  // must not touch a missing entry
    EXPECT_EQ(app.menu.item, nullptr);
}

// One line per row: separators as "---", then the title, " ^key", " (off)" when disabled and
// "[x]" / "[ ]" for a check mark.
std::vector<std::string> describe(const MenuRows& rows) {
    std::vector<std::string> out;
    for (const MenuRow& r : rows) {
        if (r.kind == MenuRow::Kind::Separator) {
            out.push_back("---");
            continue;
        }
        std::string line = r.title.toStdString();
        if (!r.key.isEmpty()) line += " ^" + r.key.toStdString();
        if (!r.enabled) line += " (off)";
        if (r.checked) line += *r.checked ? " [x]" : " [ ]";
        out.push_back(line);
    }
    return out;
}

TEST(StatusMenu, RowsFollowTheRecordingState) {
    struct Case {
        const char* name;
        bool recording, browserRecording, detect, login;
        std::vector<std::string> rows;
    };
    // The rows below the recording rows are the same in every state but for their checks.
    auto with = [](std::vector<std::string> head, const char* detect, const char* login) {
        head.push_back("---");
        head.push_back(std::string("Notice calls and offer to record") + detect);
        head.push_back(std::string("Open at login") + login);
        head.insert(head.end(), {"Settings\u2026 ^,", "---", "Quit Quorvia ^q"});
        return head;
    };
    const Case cases[] = {
        {"idle", false, false, true, false,
         with({"Open Quorvia ^o", "---", "Record a meeting now ^r",
               "Record a meeting with the screen"},
              " [x]", " [ ]")},
        {"browser recording", false, true, false, true,
         with({"Open Quorvia ^o", "---", "Recording in the browser\u2026 ^r (off)"}, " [ ]",
              " [x]")},
        {"recording", true, false, true, true,
         with({"Open Quorvia ^o", "---", "Stop recording ^s", "Open this meeting"}, " [x]",
              " [x]")},
        {"recording, browser too", true, true, false, false,
         with({"Open Quorvia ^o", "---", "Stop recording ^s", "Open this meeting"}, " [ ]",
              " [ ]")},
    };
    for (const Case& c : cases) {
        TrayWorld w;
        w.app->statusPoll.state.recording = c.recording;
        w.app->statusPoll.state.browserRecording = c.browserRecording;
        w.app->watcher.setDetect(c.detect);
        w.loginItem.on = c.login;
        EXPECT_EQ(describe(w.item->open()), c.rows) << c.name;
    }
}

TEST(StatusMenu, EachOpeningReloadsTheUpcomingMeetings) {
    AppWorld w;
    int loads = 0;
    w.http.onSend = [&](FakeHttp::Request& r) { loads += r.path == "/api/calendar/upcoming"; };
    FakeStatusItem* item = nullptr;
    App app(w.services(AppWorld::fakeItem(item)));
    app.applicationDidFinishLaunching();
    item->open();
    item->open();
    EXPECT_EQ(loads, 2);
}

// The description of the row whose title begins with `title`.
std::string line(const MenuRows& rows, const std::string& title) {
    for (const std::string& l : describe(rows))
        if (l.rfind(title, 0) == 0) return l;
    return "(missing)";
}

// The row with this title, chosen.
// Opens the menu and chooses the row titled `title`. Every opening of the menu reloads the
// upcoming meetings and asks nothing else; those reloads are checked and dropped, so the
// requests left are the rows' doing.
void choose(TrayWorld& w, const QString& title) {
    const size_t before = w.http.requests.size();
    const MenuRows rows = w.item->open();
    ASSERT_EQ(w.http.requests.size(), before + 1);
    EXPECT_EQ(w.http.requests.back().path, "/api/calendar/upcoming");
    std::erase_if(w.http.requests,
                  [](const FakeHttp::Request& r) { return r.path == "/api/calendar/upcoming"; });
    for (const MenuRow& r : rows) {
        if (r.title == title) {
            ASSERT_TRUE(r.trigger) << title.toStdString();
            r.trigger();
            return;
        }
    }
    FAIL() << "no row " << title.toStdString();
}

TEST(StatusMenu, RowsRunTheirActions) {
    struct Case {
        const char* title;
        bool recording;
        QStringList opened;
        std::vector<std::pair<QString, QJsonObject>> requests;  // path, body
    };
    const Case cases[] = {
        {"Open Quorvia", false, {WEB + "/"}, {}},
        {"Settings\u2026", false, {WEB + "/#/settings"}, {}},
        {"Open this meeting", true, {WEB + "/#/m/m7"}, {}},
        {"Record a meeting now", false, {}, {{"/api/native/start", QJsonObject{}}}},
        {"Record a meeting with the screen",
         false,
         {},
         {{"/api/native/start", QJsonObject{{"screen", true}}}}},
        {"Stop recording", true, {}, {{"/api/native/stop", QJsonObject{}}}},
    };
    for (const Case& c : cases) {
        TrayWorld w;
        w.app->statusPoll.state.recording = c.recording;
        w.app->statusPoll.state.meetingId = "m7";
        choose(w, c.title);
        EXPECT_EQ(w.browser.opened, c.opened) << c.title;
        ASSERT_EQ(w.http.requests.size(), c.requests.size()) << c.title;
        for (size_t i = 0; i < c.requests.size(); ++i) {
            EXPECT_EQ(w.http.requests[i].path, c.requests[i].first) << c.title;
            EXPECT_EQ(w.http.requests[i].method, "POST") << c.title;
            EXPECT_EQ(w.http.requests[i].body, c.requests[i].second) << c.title;
        }
    }
}

TEST(StatusMenu, OpenThisMeetingWithoutAnIdOpensNothing) {
    TrayWorld w;
    w.app->statusPoll.state.recording = true;
    choose(w, "Open this meeting");
    EXPECT_TRUE(w.browser.opened.isEmpty());
}

TEST(StatusMenu, ToggleDetectFlipsTheCheckMarkAtTheNextOpening) {
    TrayWorld w;
    w.app->watcher.setDetect(false);
    choose(w, "Notice calls and offer to record");
    EXPECT_TRUE(w.app->watcher.detect());
    EXPECT_EQ(line(w.item->open(), "Notice"), "Notice calls and offer to record [x]");
    choose(w, "Notice calls and offer to record");
    EXPECT_FALSE(w.app->watcher.detect());
}

TEST(StatusMenu, ToggleLoginRegistersOrUnregistersAndShowsWhatTheServiceReports) {
    TrayWorld w;
    choose(w, "Open at login");
    EXPECT_EQ(w.loginItem.calls, std::vector<std::string>{"enable"});
    EXPECT_EQ(line(w.item->open(), "Open at login"), "Open at login [x]");
    choose(w, "Open at login");
    EXPECT_EQ(w.loginItem.calls, (std::vector<std::string>{"enable", "disable"}));
    EXPECT_EQ(line(w.item->open(), "Open at login"), "Open at login [ ]");

    // A registration that fails changes nothing and reports nothing.
    w.loginItem.failing = true;
    choose(w, "Open at login");
    EXPECT_EQ(line(w.item->open(), "Open at login"), "Open at login [ ]");
    EXPECT_TRUE(w.prompt.shown.empty());
}

TEST(StatusMenu, QuitEndsTheEventLoopThroughTheTerminationPath) {
    TrayWorld w;
    // The entry point's wiring: the end of the event loop runs the termination path.
    QObject context;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &context,
                     [&] { w.app->applicationWillTerminate(); });
    QTimer::singleShot(0, &context, [&] { choose(w, "Quit Quorvia"); });
    // A guard in case quitting does not end the loop: the test then fails instead of hanging.
    bool timedOut = false;
    QTimer::singleShot(10000, &context, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(w.server.calls, (std::vector<std::string>{"start", "stop"}));
}

}  // namespace
