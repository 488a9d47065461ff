#include "calendar/calendar_entry.h"

#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ports/iso8601.h"

namespace qv {

namespace {

QDateTime localDateTime(double instant, const LocalCalendar& calendar) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(instant * 1000.0), calendar.zone);
}

}  // namespace

LocalCalendar LocalCalendar::system() {
    return {QTimeZone::systemTimeZone(), QLocale::system()};
}

QString entryText(const QJsonObject& entry, const QString& member) {
    const QJsonValue value = entry.value(member);
    return value.isString() ? value.toString() : QString();
}

QString entryTitle(const QJsonObject& entry) {
    const QJsonValue value = entry.value(QStringLiteral("title"));
    return value.isString() ? value.toString() : QStringLiteral("Meeting");
}

std::optional<double> entryDate(const QJsonObject& entry, const QString& member) {
    const QJsonValue value = entry.value(member);
    if (!value.isString()) return std::nullopt;
    return parseInternetDateTime(value.toString());
}

std::optional<QJsonObject> entryEvent(const QJsonObject& entry) {
    const QJsonValue value = entry.value(QStringLiteral("event"));
    if (!value.isObject()) return std::nullopt;
    return value.toObject();
}

std::optional<QJsonArray> entryList(const QJsonObject& reply) {
    const QJsonValue events = reply.value(QStringLiteral("events"));
    if (!events.isArray()) return std::nullopt;
    const QJsonArray list = events.toArray();
    for (const QJsonValue& entry : list) {
        if (!entry.isObject()) return std::nullopt;
    }
    return list;
}

std::pair<double, double> evDates(const QJsonObject& entry, double now) {
    const double start = entryDate(entry, QStringLiteral("start")).value_or(now);
    const double end = entryDate(entry, QStringLiteral("end")).value_or(start);
    return {start, end};
}

QString durationText(double seconds) {
    // Far beyond any meeting, but kept finite so the conversion below is defined.
    const double limit = double(std::numeric_limits<int>::max()) * 60.0;
    const double clamped = std::isnan(seconds) ? 0.0 : std::clamp(seconds, -limit, limit);
    const long long minutes = static_cast<long long>(std::ceil(clamped / 60.0));
    if (minutes < 60) return QStringLiteral("%1m").arg(minutes);
    return QStringLiteral("%1h %2m").arg(minutes / 60).arg(minutes % 60);
}

QString timeOfDay(double instant, const LocalCalendar& calendar) {
    // The short style of a few locales, the C locale's among them, carries seconds, which
    // say nothing about a meeting.
    static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
    const QString format = calendar.locale.timeFormat(QLocale::ShortFormat).remove(seconds);
    return calendar.locale.toString(localDateTime(instant, calendar).time(), format);
}

QString timeRange(const QJsonObject& entry, double now, const LocalCalendar& calendar) {
    const auto [start, end] = evDates(entry, now);
    return timeOfDay(start, calendar) + QStringLiteral(" \u2013 ") + timeOfDay(end, calendar);
}

QString dayLabel(double instant, double now, const LocalCalendar& calendar) {
    const QDate day = localDateTime(instant, calendar).date();
    const QDate today = localDateTime(now, calendar).date();
    if (day == today) return QStringLiteral("Today");
    if (day == today.addDays(1)) return QStringLiteral("Tomorrow");
    return calendar.locale.dayName(day.dayOfWeek(), QLocale::LongFormat);
}

}  // namespace qv
