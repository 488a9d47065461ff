// The upcoming-meetings section of the status menu, as rows, against a fixed time, zone and
// locale.
#include <gtest/gtest.h>

#include <QDateTime>
#include <string>
#include <vector>

#include "calendar/upcoming_section.h"

using namespace qv;

namespace {

// Wednesday 9 December 2026, 11:00 in the calendar's zone (UTC+1).
const double kNow = QDateTime::fromString("2026-12-09T10:00:00Z", Qt::ISODate).toSecsSinceEpoch();
const LocalCalendar kCalendar{QTimeZone(3600), QLocale(QLocale::English, QLocale::UnitedKingdom)};

QString iso(double offset) {
    return QDateTime::fromSecsSinceEpoch(qint64(kNow + offset), QTimeZone::utc())
        .toString(Qt::ISODate);
}

// An entry starting and ending at offsets from now, with a call link unless `url` is empty.
QJsonObject meeting(const char* title, double start, double end,
                    const char* url = "https://example.zoom.us/j/1", const char* service = "zoom") {
    QJsonObject e{{"start", iso(start)}, {"end", iso(end)}, {"event", QJsonObject{{"id", title}}}};
    if (*title) e.insert("title", title);
    if (*url) e.insert("url", url);
    if (*service) e.insert("service", service);
    return e;
}

// One line per row: "---", "# header", "title | detail" (with " *" when big, " @icon" when the
// row has one), "  " per indentation level, "> title" then the submenu's lines indented.
void describe(const MenuRows& rows, std::vector<std::string>& out, const std::string& indent) {
    for (const MenuRow& r : rows) {
        if (r.kind == MenuRow::Kind::Separator) {
            out.push_back(indent + "---");
            continue;
        }
        std::string line = indent + std::string(2 * r.indent, ' ');
        if (r.kind == MenuRow::Kind::Header) line += "# ";
        if (r.submenu) line += "> ";
        line += r.title.toStdString();
        if (!r.detail.isEmpty()) line += " | " + r.detail.toStdString();
        if (r.big) line += " *";
        if (!r.icon.isEmpty()) line += " @" + r.icon.toStdString();
        out.push_back(line);
        if (r.submenu) describe(r.submenu(), out, indent + "    ");
    }
}

std::vector<std::string> describe(const MenuRows& rows) {
    std::vector<std::string> out;
    describe(rows, out, "");
    return out;
}

MenuRows section(const QJsonArray& list, bool recording = false) {
    return upcomingSection(list, recording, kNow, kCalendar, {});
}

TEST(UpcomingSection, HeadlineItemAndJoinAndRecord) {
    using Rows = std::vector<std::string>;
    struct Case {
        const char* name;
        QJsonArray list;
        bool recording;
        Rows rows;
    };
    const Case cases[] = {
        {"nothing upcoming", {}, false, {}},
        {"everything ended", {meeting("A", -3600, -1800), meeting("B", -600, 0)}, false, {}},
        {"in progress",
         {meeting("Stand-up", -600, 1510)},
         false,
         {"# Now \u00B7 ends in 26m", "Stand-up | 10:50 \u2013 11:25 * @service:zoom",
          "  Join & record", "---"}},
        {"in progress while recording",
         {meeting("Stand-up", -600, 1510)},
         true,
         {"# Now \u00B7 ends in 26m", "Stand-up | 10:50 \u2013 11:25 * @service:zoom", "---"}},
        {"in 30 seconds",
         {meeting("Review", 30, 1830)},
         false,
         {"# Next \u00B7 in 1m", "Review | 11:00 \u2013 11:30 * @service:zoom", "  Join & record",
          "---"}},
        {"in 299 seconds",
         {meeting("Review", 299, 1800)},
         false,
         {"# Next \u00B7 in 5m", "Review | 11:04 \u2013 11:30 * @service:zoom", "  Join & record",
          "---"}},
        {"in 300 seconds",
         {meeting("Review", 300, 1800)},
         false,
         {"# Next \u00B7 in 5m", "Review | 11:05 \u2013 11:30 * @service:zoom", "---"}},
        {"no call link",
         {meeting("Lunch", 60, 1800, "", "")},
         false,
         {"# Next \u00B7 in 1m", "Lunch | 11:01 \u2013 11:30 *", "---"}},
        {"a link without a service shows the agent's icon",
         {meeting("Call", 60, 1800, "https://example.org/room", "")},
         false,
         {"# Next \u00B7 in 1m", "Call | 11:01 \u2013 11:30 * @service:", "  Join & record",
          "---"}},
        {"in 59 and a half minutes",
         {meeting("Planning", 3570, 5400)},
         false,
         {"# Next \u00B7 in 1h 0m", "Planning | 11:59 \u2013 12:30 * @service:zoom", "---"}},
        {"three hours ahead, today",
         {meeting("Retro", 10800, 12600)},
         false,
         {"# Next \u00B7 later today", "Retro | 14:00 \u2013 14:30 * @service:zoom", "---"}},
        {"tomorrow",
         {meeting("Sync", 86400, 88200)},
         false,
         {"# Next \u00B7 Tomorrow", "Sync | 11:00 \u2013 11:30 * @service:zoom", "---"}},
        {"Friday",
         {meeting("Demo", 2 * 86400, 2 * 86400 + 1800)},
         false,
         {"# Next \u00B7 Friday", "Demo | 11:00 \u2013 11:30 * @service:zoom", "---"}},
        {"no title",
         {meeting("", 600, 1200, "", "")},
         false,
         {"# Next \u00B7 in 10m", "Meeting | 11:10 \u2013 11:20 *", "---"}},
        {"not reordered: the backend's first is the headline",
         {meeting("Later", 7200, 9000), meeting("Sooner", 600, 1200)},
         false,
         {"# Next \u00B7 in 2h 0m", "Later | 13:00 \u2013 13:30 * @service:zoom", "> More meetings",
          "    # Today", "    Sooner | 11:10 \u2013 11:20 @service:zoom", "---"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(section(c.list, c.recording)), c.rows) << c.name;
    }
}

TEST(UpcomingSection, UnparseableTimesTakeTheirDefaults) {
    // A start that cannot be read is now; an end that cannot be read is the start.
    QJsonObject noStart = meeting("No start", 0, 1200);
    noStart["start"] = "2026-12-09T09:00:00.000Z";
    QJsonObject noEndLater = meeting("No end, later", 1200, 0);
    noEndLater["end"] = "2026-12-09T12:00:00";
    QJsonObject noEndStarted = meeting("No end, started", -60, 0);
    noEndStarted.remove("end");
    using Rows = std::vector<std::string>;
    EXPECT_EQ(describe(section({noEndStarted, noStart, noEndLater})),
              (Rows{"# Now \u00B7 ends in 20m", "No start | 11:00 \u2013 11:20 * @service:zoom",
                    "  Join & record", "> More meetings", "    # Today",
                    "    No end, later | 11:20 \u2013 11:20 @service:zoom", "---"}));
}

TEST(UpcomingSection, MoreMeetingsGroupedByDayLabel) {
    const double day = 86400;
    const QJsonArray list = {
        meeting("First", 600, 1200),
        meeting("Today A", 3600, 5400, "", ""),
        meeting("Today B", 7200, 9000),
        meeting("Tomorrow", day + 600, day + 1200),
        meeting("Friday", 2 * day, 2 * day + 1800),
        // Two different Mondays in a row share one header: the labels are compared.
        meeting("Monday", 5 * day, 5 * day + 1800),
        meeting("Next Monday", 12 * day, 12 * day + 1800),
    };
    using Rows = std::vector<std::string>;
    EXPECT_EQ(describe(section(list)),
              (Rows{"# Next \u00B7 in 10m", "First | 11:10 \u2013 11:20 * @service:zoom",
                    "> More meetings", "    # Today", "    Today A | 12:00 \u2013 12:30",
                    "    Today B | 13:00 \u2013 13:30 @service:zoom", "    ---", "    # Tomorrow",
                    "    Tomorrow | 11:10 \u2013 11:20 @service:zoom", "    ---", "    # Friday",
                    "    Friday | 11:00 \u2013 11:30 @service:zoom", "    ---", "    # Monday",
                    "    Monday | 11:00 \u2013 11:30 @service:zoom",
                    "    Next Monday | 11:00 \u2013 11:30 @service:zoom", "---"}));
}

TEST(UpcomingSection, RowsCarryTheirWholeEntryAndRunTheirActions) {
    QJsonObject first = meeting("First", 60, 1200);
    first.insert("brief", "kept as it came");
    const QJsonObject second = meeting("Second", 3600, 5400);
    QList<QJsonObject> opened, joined;
    const UpcomingActions actions{
        .open = [&](const QJsonObject& e) { opened << e; },
        .joinRecord = [&](const QJsonObject& e) { joined << e; },
    };
    const MenuRows rows = upcomingSection({first, second}, false, kNow, kCalendar, actions);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_FALSE(rows[0].enabled);  // the headline
    EXPECT_EQ(rows[1].payload, first);
    EXPECT_TRUE(rows[1].enabled);
    EXPECT_EQ(rows[2].payload, first);
    EXPECT_EQ(rows[2].indent, 1);
    EXPECT_TRUE(rows[3].enabled);  // "More meetings" opens its submenu, nothing else
    EXPECT_FALSE(rows[3].trigger);
    ASSERT_TRUE(rows[3].submenu);
    const MenuRows more = rows[3].submenu();
    ASSERT_EQ(more.size(), 2u);
    EXPECT_FALSE(more[0].enabled);

    rows[1].trigger();
    rows[2].trigger();
    more[1].trigger();
    EXPECT_EQ(opened, (QList<QJsonObject>{first, second}));
    EXPECT_EQ(joined, QList<QJsonObject>{first});
}

TEST(ServiceIconName, RoundTripsTheKeyAndIgnoresOtherNames) {
    for (const QString& key : {QString("zoom"), QString(""), QString("Some:thing")}) {
        EXPECT_EQ(serviceOfIconName(serviceIconName(key)), key);
    }
    EXPECT_EQ(serviceOfIconName("zoom"), std::nullopt);
    EXPECT_EQ(serviceOfIconName(""), std::nullopt);
}

}  // namespace
