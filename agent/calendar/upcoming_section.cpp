#include "calendar/upcoming_section.h"

#include <vector>

namespace qv {

namespace {

constexpr double kSoonHeadline = 3 * 3600.0;  // "Next · in …" below this, else the day
constexpr double kJoinWindow = 300.0;         // "Join & record" from this long before the start
const QString kIconPrefix = QStringLiteral("service:");

struct Context {
    double now;
    const LocalCalendar& calendar;
    const UpcomingActions& actions;
};

MenuRow eventItem(const QJsonObject& entry, bool big, const Context& c) {
    MenuRow row;
    row.title = entryTitle(entry);
    row.detail = timeRange(entry, c.now, c.calendar);
    row.big = big;
    row.payload = entry;
    if (!entryText(entry, QStringLiteral("url")).isEmpty()) {
        row.icon = serviceIconName(entryText(entry, QStringLiteral("service")));
    }
    row.trigger = [open = c.actions.open, entry] {
        if (open) open(entry);
    };
    return row;
}

QString headline(double start, double end, const Context& c) {
    const QString dot = QStringLiteral(" \u00B7 ");
    if (start <= c.now) return QStringLiteral("Now") + dot + "ends in " + durationText(end - c.now);
    if (start - c.now < kSoonHeadline) {
        return QStringLiteral("Next") + dot + "in " + durationText(start - c.now);
    }
    const QString day = dayLabel(start, c.now, c.calendar);
    return QStringLiteral("Next") + dot +
           (day.toLower() == QLatin1String("today") ? QStringLiteral("later today") : day);
}

// The other meetings, each day's under a header with that day's label, days parted by lines.
MenuRows moreMeetings(const std::vector<QJsonObject>& rest, const Context& c) {
    MenuRows rows;
    QString lastDay;
    for (const QJsonObject& entry : rest) {
        const QString day = dayLabel(evDates(entry, c.now).first, c.now, c.calendar);
        if (day != lastDay) {
            if (!lastDay.isEmpty()) rows.push_back(MenuRow::separator());
            rows.push_back(MenuRow::header(day));
            lastDay = day;
        }
        rows.push_back(eventItem(entry, false, c));
    }
    return rows;
}

}  // namespace

MenuRows upcomingSection(const QJsonArray& upcoming, bool recording, double now,
                         const LocalCalendar& calendar, const UpcomingActions& actions) {
    const Context c{now, calendar, actions};
    std::vector<QJsonObject> list;
    for (const QJsonValue& value : upcoming) {
        const QJsonObject entry = value.toObject();
        if (evDates(entry, now).second > now) list.push_back(entry);
    }
    if (list.empty()) return {};

    MenuRows rows;
    const QJsonObject& first = list.front();
    const auto [start, end] = evDates(first, now);
    rows.push_back(MenuRow::header(headline(start, end, c)));
    rows.push_back(eventItem(first, true, c));
    if (!entryText(first, QStringLiteral("url")).isEmpty() && !recording &&
        start - now < kJoinWindow) {
        MenuRow join{.title = QStringLiteral("Join & record"), .indent = 1, .payload = first};
        join.trigger = [joinRecord = actions.joinRecord, first] {
            if (joinRecord) joinRecord(first);
        };
        rows.push_back(std::move(join));
    }
    if (list.size() > 1) {
        // Built when the submenu opens, against the time of this opening.
        MenuRow more{.title = QStringLiteral("More meetings")};
        more.submenu = [rest = std::vector<QJsonObject>(list.begin() + 1, list.end()), now,
                        calendar, actions] {
            return moreMeetings(rest, Context{now, calendar, actions});
        };
        rows.push_back(std::move(more));
    }
    rows.push_back(MenuRow::separator());
    return rows;
}

QString serviceIconName(const QString& service) {
    return kIconPrefix + service;
}

std::optional<QString> serviceOfIconName(const QString& name) {
    if (!name.startsWith(kIconPrefix)) return std::nullopt;
    return name.mid(kIconPrefix.size());
}

}  // namespace qv
