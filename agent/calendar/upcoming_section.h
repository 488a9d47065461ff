// The upcoming-meetings section at the top of the status menu, as menu rows: a headline saying
// how soon the next meeting starts (or how long it still runs), that meeting, "Join & record"
// when it is about to start, and the other meetings under "More meetings", grouped by day.
// Pure: the rows follow from the list, the recording flag, the time and the calendar given.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <functional>

#include "calendar/calendar_entry.h"
#include "ports/menu_model.h"

namespace qv {

// What the section's rows do when chosen; each gets the whole entry of its row.
struct UpcomingActions {
    std::function<void(const QJsonObject& entry)> open;        // a meeting's row
    std::function<void(const QJsonObject& entry)> joinRecord;  // "Join & record"
};

// The section for the entries in `upcoming` (kept in the backend's order) that have not ended
// at `now`, followed by a separator; no rows at all when none is left.
MenuRows upcomingSection(const QJsonArray& upcoming, bool recording, double now,
                         const LocalCalendar& calendar, const UpcomingActions& actions);

// The icon name a meeting row carries for its call service key ("service:zoom"; "service:"
// for an entry without a service), and the key back from such a name (nothing for any other).
QString serviceIconName(const QString& service);
std::optional<QString> serviceOfIconName(const QString& name);

}  // namespace qv
