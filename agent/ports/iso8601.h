// The backend's timestamps: internet date-times ("2024-05-01T10:00:00Z",
// "2024-05-01T12:00:00+02:00"). Pure functions, any thread.
#pragma once

#include <QStringView>
#include <optional>

namespace qv {

// Seconds since the Unix epoch for a strict internet date-time: a full date, the letter T, hours,
// minutes and seconds, then the letter Z or a numeric offset "+HH:MM" / "-HH:MM". Everything
// else is rejected: fractional seconds, a missing zone, lower-case letters, out-of-range fields
// (including leap second 60 and days past the month's end), surrounding white space.
std::optional<double> parseInternetDateTime(QStringView text);

}  // namespace qv
