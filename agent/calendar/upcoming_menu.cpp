// The upcoming meetings: the cached list, the status menu's section built from it, and the
// actions of the section's rows.
#include "calendar/calendar_entry.h"
#include "calendar/meetings.h"
#include "calendar/upcoming_section.h"

namespace qv {

namespace {
constexpr double kUpcomingTimeout = 25.0;
}  // namespace

void Meetings::loadUpcoming() {
    services_.http.send(QStringLiteral("/api/calendar/upcoming"), QStringLiteral("GET"),
                        std::nullopt, kUpcomingTimeout,
                        life_.guard([this](int status, const QJsonObject& reply) {
                            // Anything but a well-formed list keeps the previous one.
                            if (status != 200) return;
                            if (std::optional<QJsonArray> events = entryList(reply))
                                upcoming = *events;
                        }));
}

void Meetings::addUpcoming(MenuRows& rows) {
    const UpcomingActions actions{
        .open = [this](const QJsonObject& entry) { openEvent(entry); },
        .joinRecord = [this](const QJsonObject& entry) { joinRecordEvent(entry); },
    };
    MenuRows section = upcomingSection(upcoming, services_.state.recording, services_.clock.now(),
                                       LocalCalendar::system(), actions);
    rows.insert(rows.end(), std::make_move_iterator(section.begin()),
                std::make_move_iterator(section.end()));
}

void Meetings::openEvent(const QJsonObject& entry) {
    if (std::optional<QJsonObject> event = entryEvent(entry)) openCalendarMeeting(*event);
}

void Meetings::joinRecordEvent(const QJsonObject& entry) {
    openCallLink(entryText(entry, QStringLiteral("url")));
    services_.recording.start({.event = entryEvent(entry), .openPage = false});
}

}  // namespace qv
