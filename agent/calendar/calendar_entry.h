// Calendar entries as the backend sends them (JSON objects with optional members "key",
// "title", "start", "end", "url", "service", "color", "brief" and "event"), and how their times
// read to the user. Pure functions over the values they are given; any thread.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QString>
#include <QTimeZone>
#include <optional>
#include <utility>

namespace qv {

// How instants read to the user: the time zone that decides calendar days and times of day,
// and the locale of the short time style and the weekday names.
struct LocalCalendar {
    QTimeZone zone;
    QLocale locale;
    // The desktop's own: the system time zone and QLocale::system().
    static LocalCalendar system();
};

// A member as a string; empty when it is missing or of another JSON type.
QString entryText(const QJsonObject& entry, const QString& member);
// The member "title" when it is a string (even an empty one), else "Meeting".
QString entryTitle(const QJsonObject& entry);
// A member that is a strict internet date-time, in seconds since the epoch; nothing when it is
// missing, not a string or unparseable.
std::optional<double> entryDate(const QJsonObject& entry, const QString& member);
// The member "event" when it is an object.
std::optional<QJsonObject> entryEvent(const QJsonObject& entry);

// The "events" of a calendar reply when it is an array of objects only; nothing otherwise.
std::optional<QJsonArray> entryList(const QJsonObject& reply);

// Start and end of an entry for the menu: "start", else `now`; "end", else the start.
std::pair<double, double> evDates(const QJsonObject& entry, double now);

// A length of time for the menu: minutes rounded up, "45m" below an hour, else "2h 5m".
QString durationText(double seconds);
// The time of day of an instant in the locale's short time style ("09:30", "9:30 AM"), without
// seconds even where that style has them.
QString timeOfDay(double instant, const LocalCalendar& calendar);
// "start – end" as times of day (an EN DASH between spaces), per evDates.
QString timeRange(const QJsonObject& entry, double now, const LocalCalendar& calendar);
// "Today" or "Tomorrow" by the calendar day of `instant` against that of `now`; any other day
// by its full weekday name in the locale.
QString dayLabel(double instant, double now, const LocalCalendar& calendar);

}  // namespace qv
