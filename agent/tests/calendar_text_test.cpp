// The calendar's pure pieces: durations, days and times as the user reads them, the card's
// colour, brief, captions and countdown, the service icons' lookup order and the link filter.
#include <gtest/gtest.h>

#include <QDateTime>
#include <cmath>

#include "calendar/calendar_entry.h"
#include "calendar/call_link.h"
#include "calendar/meeting_card.h"
#include "support/fake_services.h"

using namespace qv;
using qv::test::FakeInstalledApps;

namespace {

double at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch();
}

// Central European winter time, and a locale whose short time style is "HH:mm".
const LocalCalendar kBerlin{QTimeZone(3600), QLocale(QLocale::German, QLocale::Germany)};

TEST(DurationText, MinutesRoundedUpThenHoursAndMinutes) {
    const std::pair<double, const char*> cases[] = {
        {0, "0m"},       {0.1, "1m"},     {30, "1m"},      {60, "1m"},       {60.001, "2m"},
        {1510, "26m"},   {2700, "45m"},   {3540, "59m"},   {3541, "1h 0m"},  {3570, "1h 0m"},
        {3600, "1h 0m"}, {3601, "1h 1m"}, {7500, "2h 5m"}, {10799, "3h 0m"}, {90000, "25h 0m"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(durationText(seconds).toStdString(), text) << seconds;
    }
}

TEST(DayLabel, TodayAndTomorrowByTheLocalCalendarDayElseTheWeekday) {
    // 23:30 UTC is already 00:30 on Thursday 10 December in the calendar's zone.
    const double now = at("2026-12-09T23:30:00Z");
    struct Case {
        const char* instant;
        LocalCalendar calendar;
        const char* label;
    };
    const LocalCalendar english{QTimeZone(3600), QLocale(QLocale::English, QLocale::UnitedStates)};
    const Case cases[] = {
        {"2026-12-09T23:30:00Z", kBerlin, "Today"},
        {"2026-12-10T22:59:59Z", kBerlin, "Today"},  // 23:59:59 local
        {"2026-12-10T23:00:00Z", kBerlin, "Tomorrow"},
        {"2026-12-11T22:59:59Z", kBerlin, "Tomorrow"},
        {"2026-12-11T23:00:00Z", kBerlin, "Samstag"},
        {"2026-12-11T23:00:00Z", english, "Saturday"},
        {"2026-12-14T09:00:00Z", english, "Monday"},
        // A day already gone is named too, never "Yesterday".
        {"2026-12-09T12:00:00Z", english, "Wednesday"},
        // In UTC itself the same instants fall a day earlier.
        {"2026-12-10T22:59:59Z", {QTimeZone::utc(), QLocale::c()}, "Tomorrow"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dayLabel(at(c.instant), now, c.calendar).toStdString(), c.label) << c.instant;
    }
}

TEST(TimeRange, StartAndEndAsLocalTimesOfDayWithTheirDefaults) {
    const double now = at("2026-12-09T10:00:00Z");
    struct Case {
        QJsonObject entry;
        const char* text;
    };
    const Case cases[] = {
        {{{"start", "2026-12-09T09:30:00Z"}, {"end", "2026-12-09T10:15:00Z"}},
         "10:30 \u2013 11:15"},
        // Offsets are honoured; the times show in the calendar's zone.
        {{{"start", "2026-12-09T12:30:00+02:00"}, {"end", "2026-12-09T12:00:00Z"}},
         "11:30 \u2013 13:00"},
        // Without an end the meeting ends when it starts; without a start it starts now.
        {{{"start", "2026-12-09T09:30:00Z"}}, "10:30 \u2013 10:30"},
        {{{"end", "2026-12-09T12:00:00Z"}}, "11:00 \u2013 13:00"},
        // Unparseable texts count as missing: fractions, no zone, no time, not a string.
        {{{"start", "2026-12-09T09:30:00.5Z"}, {"end", "2026-12-09T12:00"}}, "11:00 \u2013 11:00"},
        {{{"start", "2026-12-09"}, {"end", 1765270800}}, "11:00 \u2013 11:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(timeRange(c.entry, now, kBerlin).toStdString(), c.text);
    }
    // A short style with seconds (the C locale's) leaves them out.
    EXPECT_EQ(timeRange(cases[0].entry, now, {QTimeZone(3600), QLocale::c()}),
              "10:30 \u2013 11:15");
    // Other locales use their own short time style.
    const LocalCalendar english{QTimeZone(3600), QLocale(QLocale::English, QLocale::UnitedStates)};
    const QString english930 = timeOfDay(at("2026-12-09T08:30:00Z"), english);
    EXPECT_TRUE(english930.startsWith("9:30")) << english930.toStdString();
    EXPECT_TRUE(english930.endsWith("AM")) << english930.toStdString();
}

TEST(EntryList, OnlyAnArrayOfObjectsCounts) {
    const QJsonObject a{{"key", "a"}};
    EXPECT_EQ(entryList({{"events", QJsonArray{a, a}}}), (QJsonArray{a, a}));
    EXPECT_EQ(entryList({{"events", QJsonArray{}}}), QJsonArray{});
    EXPECT_EQ(entryList({{"events", QJsonArray{a, "b"}}}), std::nullopt);
    EXPECT_EQ(entryList({{"events", a}}), std::nullopt);
    EXPECT_EQ(entryList({{"items", QJsonArray{a}}}), std::nullopt);
}

TEST(EntryTitle, AStringTitleElseMeeting) {
    EXPECT_EQ(entryTitle({{"title", "Stand-up"}}), "Stand-up");
    EXPECT_EQ(entryTitle({{"title", ""}}), "");  // present, if empty
    EXPECT_EQ(entryTitle({{"title", 5}}), "Meeting");
    EXPECT_EQ(entryTitle({}), "Meeting");
}

TEST(CardColour, SixHexDigitsElseTheDefault) {
    const CardColour dodger{30 / 255.0, 144 / 255.0, 255 / 255.0};
    const std::pair<const char*, CardColour> cases[] = {
        {"#1E90FF", dodger},
        {"1e90ff", dodger},
        {" \t#1E90FF  ", dodger},
        {"\u00A0#1E90FF\u2003", dodger},  // any space separator counts as a space
        {"+000FF", {0, 0, 1}},            // standard unsigned parsing admits a plus sign
        {"#000000", {0, 0, 0}},
        {"#1E90F", kDefaultCardColour},
        {"##1E90FF", kDefaultCardColour},
        {"1E90FF00", kDefaultCardColour},
        {"\n#1E90FF", kDefaultCardColour},  // line breaks are not trimmed
        {"#1E 0FF", kDefaultCardColour},
        {"-1E90F", kDefaultCardColour},
        {"0x1E90", kDefaultCardColour},
        {"#GGGGGG", kDefaultCardColour},
        {"#\uFF11E90FF", kDefaultCardColour},  // a full-width digit is no hexadecimal digit
        {"blue", kDefaultCardColour},
        {"", kDefaultCardColour},
    };
    for (const auto& [text, colour] : cases) {
        const CardColour got = MeetingCard::color(QString::fromUtf8(text));
        EXPECT_EQ(got, colour) << text << " -> " << got.red << " " << got.green << " " << got.blue;
    }
    EXPECT_EQ(kDefaultCardColour, (CardColour{0.125, 0.627, 0.816}));
}

TEST(RichBrief, DoubleAsterisksAlternateRegularAndSemibold) {
    using S = std::vector<RichSegment>;
    const std::pair<const char*, S> cases[] = {
        {"Agenda: **budget** and **hiring**",
         {{"Agenda: ", false}, {"budget", true}, {" and ", false}, {"hiring", true}, {"", false}}},
        {"a**b", {{"a", false}, {"b", true}}},
        {"**Bold** start", {{"", false}, {"Bold", true}, {" start", false}}},
        {"plain *text* # _x_\n- item", {{"plain *text* # _x_\n- item", false}}},
        {"***", {{"", false}, {"*", true}}},
        {"", {{"", false}}},
    };
    for (const auto& [text, segments] : cases) {
        EXPECT_EQ(MeetingCard::rich(QString::fromUtf8(text)), segments) << text;
    }
}

TEST(CardTexts, CountdownTimeAndCaption) {
    const double start = at("2026-12-09T09:30:00Z");
    const std::pair<double, const char*> countdown[] = {
        {-600, "Starting now"},  {0, "Starting now"},     {0.5, "Starts in 1 min"},
        {60, "Starts in 1 min"}, {61, "Starts in 2 min"}, {299, "Starts in 5 min"},
    };
    for (const auto& [ahead, text] : countdown) {
        EXPECT_EQ(cardCountdown(start, start - ahead).toStdString(), text) << ahead;
    }
    EXPECT_EQ(cardTime(start, std::nullopt, kBerlin), "10:30");
    EXPECT_EQ(cardTime(start, start + 2700, kBerlin), "10:30 \u2013 11:15");

    using Lines = std::pair<QString, QString>;
    EXPECT_EQ(cardCaption("teams", true), (Lines{"Join Teams", "& record"}));
    EXPECT_EQ(cardCaption("zoom", true), (Lines{"Join Zoom", "& record"}));
    EXPECT_EQ(cardCaption("Zoom", true), (Lines{"Join call", "& record"}));  // keys are exact
    EXPECT_EQ(cardCaption("", true), (Lines{"Join call", "& record"}));
    EXPECT_EQ(cardCaption("zoom", false), (Lines{"Record", "this meeting"}));
    for (const char* key : {"meet", "zoom", "teams", "webex", "whereby", "slack"}) {
        EXPECT_TRUE(serviceName(key).has_value()) << key;
    }
    EXPECT_EQ(serviceName(" zoom"), std::nullopt);
}

TEST(ServiceIcon, NativeApplicationsInOrderThenTheBrowserThenTheAgentsOwn) {
    struct Case {
        const char* key;
        QHash<QString, QString> apps;
        bool browser;
        QString icon;
        QStringList asked;
    };
    const QStringList teamsIds = {"com.github.IsmaelMartinez.teams_for_linux", "teams-for-linux",
                                  "teams"};
    const Case cases[] = {
        {"zoom",
         {{"Zoom", "Zoom"}, {"us.zoom.Zoom", "us.zoom.Zoom"}},
         true,
         "us.zoom.Zoom",
         {"us.zoom.Zoom"}},
        {"zoom",
         {{"Zoom", "/opt/zoom/zoom.png"}},
         true,
         "/opt/zoom/zoom.png",
         {"us.zoom.Zoom", "Zoom"}},
        // Only the oldest Teams client: its icon. None: the browser's.
        {"teams", {{"teams", "teams"}}, true, "teams", teamsIds},
        {"teams", {}, true, "firefox-esr", teamsIds + QStringList{"https:"}},
        {"slack",
         {{"com.slack.Slack", "com.slack.Slack"}},
         true,
         "com.slack.Slack",
         {"com.slack.Slack"}},
        {"webex", {}, true, "firefox-esr", {"webex", "com.cisco.webex", "https:"}},
        // Services without an application, and unknown keys, show the browser.
        {"meet", {{"Zoom", "Zoom"}}, true, "firefox-esr", {"https:"}},
        {"Zoom", {{"Zoom", "Zoom"}}, true, "firefox-esr", {"https:"}},
        // No browser either: the agent's own icon.
        {"whereby", {}, false, "", {"https:"}},
        // An empty key never asks for the browser.
        {"", {{"Zoom", "Zoom"}}, true, "", {}},
    };
    for (const Case& c : cases) {
        FakeInstalledApps apps;
        apps.apps = c.apps;
        if (c.browser) apps.handlers.insert("https", "firefox-esr");
        EXPECT_EQ(MeetingCard::serviceIcon(c.key, apps), c.icon) << c.key;
        EXPECT_EQ(apps.asked, c.asked) << c.key;
    }
}

TEST(CallLink, OnlyWebPagesAndTheCallApplicationsOwnSchemesAreOpened) {
    const std::pair<const char*, const char*> opened[] = {
        {"https://example.zoom.us/j/123?pwd=abc", "https://example.zoom.us/j/123?pwd=abc"},
        {"http://meet.example.org/room", "http://meet.example.org/room"},
        {"HTTPS://Teams.Microsoft.com/l/meetup-join/19%3ameeting",
         "https://teams.microsoft.com/l/meetup-join/19%3Ameeting"},
        {"zoommtg://zoom.us/join?confno=123", "zoommtg://zoom.us/join?confno=123"},
        {"zoomus://zoom.us/join?confno=123", "zoomus://zoom.us/join?confno=123"},
        {"msteams:/l/meetup-join/19%3ameeting", "msteams:/l/meetup-join/19%3Ameeting"},
        {"webex://meet?sip=room@example.webex.com", "webex://meet?sip=room@example.webex.com"},
        {"slack://channel?team=T1&id=C1", "slack://channel?team=T1&id=C1"},
    };
    for (const auto& [text, url] : opened) {
        const std::optional<QUrl> link = callLink(text);
        ASSERT_TRUE(link.has_value()) << text;
        EXPECT_EQ(link->toString().toStdString(), url);
    }
    const char* refused[] = {
        "",
        "example.zoom.us/j/123",  // no scheme
        "//example.zoom.us/j/123",
        "file:///etc/passwd",
        "file://server/share/run.desktop",
        "smb://server/share",
        "javascript:alert(1)",
        "data:text/html,<script>alert(1)</script>",
        "ftp://example.org/file",
        "ssh://host",
        "x-scheme-of-an-app://do-something",
        "https:relative/path",  // a web scheme without a host
        "https://",
        "-https://example.org",
    };
    for (const char* text : refused) {
        EXPECT_EQ(callLink(text), std::nullopt) << text;
    }
}

}  // namespace
