// The upcoming meetings: the cached list, the status menu's section built from it, and the
// actions of the section's rows.
#include "calendar/calendar_entry.h"
#include "calendar/call_link.h"
#include "calendar/upcoming_section.h"
#include "core/app.h"

namespace qv {

namespace {
constexpr double kUpcomingTimeout = 25.0;
constexpr double kOpenTimeout = 20.0;
}  // namespace

void App::loadUpcoming() {
    http(QStringLiteral("/api/calendar/upcoming"), QStringLiteral("GET"), std::nullopt,
         kUpcomingTimeout, [this](int status, const QJsonObject& reply) {
             // Anything but a well-formed list keeps the previous one.
             if (status != 200) return;
             if (std::optional<QJsonArray> events = entryList(reply)) upcoming = *events;
         });
}

void App::addUpcoming(MenuRows& rows) {
    const UpcomingActions actions{
        .open = [this](const QJsonObject& entry) { openEvent(entry); },
        .joinRecord = [this](const QJsonObject& entry) { joinRecordEvent(entry); },
    };
    MenuRows section = upcomingSection(upcoming, recording, services_.clock.now(),
                                       LocalCalendar::system(), actions);
    rows.insert(rows.end(), std::make_move_iterator(section.begin()),
                std::make_move_iterator(section.end()));
}

void App::openEvent(const QJsonObject& entry) {
    if (std::optional<QJsonObject> event = entryEvent(entry)) openCalendarMeeting(*event);
}

void App::joinRecordEvent(const QJsonObject& entry) {
    openCallLink(entryText(entry, QStringLiteral("url")));
    start({.event = entryEvent(entry), .openPage = false});
}

void App::openCalendarMeeting(const QJsonObject& event) {
    http(QStringLiteral("/api/calendar/open"), QStringLiteral("POST"), event, kOpenTimeout,
         [this](int status, const QJsonObject& reply) {
             const QJsonValue id = reply.value(QStringLiteral("id"));
             if (status == 200 && id.isString()) openWeb(QStringLiteral("#/m/") + id.toString());
         });
}

bool App::openCallLink(const QString& url) {
    const std::optional<QUrl> link = callLink(url);
    if (!link) return false;
    services_.browser.open(*link);
    return true;
}

}  // namespace qv
