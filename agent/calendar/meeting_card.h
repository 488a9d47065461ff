// The pure pieces of what the meeting card shows (ports/meeting_card.h): the call services'
// names, the countdown, the time and the main control's caption. Any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

#include "calendar/calendar_entry.h"
#include "ports/meeting_card.h"

namespace qv {

// The user-visible name of a known call service key ("zoom" gives "Zoom"); keys are compared
// exactly. Nothing for any other key.
std::optional<QString> serviceName(const QString& key);
// The desktop-file ids of a service's native applications, in the order they are looked for.
QStringList serviceDesktopIds(const QString& key);

// How soon the meeting starts, in whole minutes rounded up: "Starting now" once it is due,
// "Starts in 1 min", "Starts in 5 min".
QString cardCountdown(double start, double now);
// The meeting's time: the start's time of day, and " – " and the end's when there is an end.
QString cardTime(double start, std::optional<double> end, const LocalCalendar& calendar);
// The main control's two lines: "Join Zoom" (or "Join call") over "& record" for a meeting
// that can be joined, else "Record" over "this meeting".
std::pair<QString, QString> cardCaption(const QString& service, bool joinable);

}  // namespace qv
