#include "ports/iso8601.h"

#include <cstdint>

namespace qv {

namespace {

// Reads exactly `width` decimal digits at `pos`; nothing else counts as a digit here.
std::optional<int> digits(QStringView s, qsizetype pos, int width) {
    int value = 0;
    for (int i = 0; i < width; ++i) {
        const char16_t c = s[pos + i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool at(QStringView s, qsizetype pos, char16_t c) {
    return s[pos].unicode() == c;
}

// The zone designator starting at `pos`, as an offset east of UTC in seconds.
std::optional<int> zoneOffset(QStringView s, qsizetype pos) {
    if (s.size() == pos + 1 && at(s, pos, u'Z')) return 0;
    if (s.size() != pos + 6 || !at(s, pos + 3, u':')) return std::nullopt;
    const bool east = at(s, pos, u'+');
    if (!east && !at(s, pos, u'-')) return std::nullopt;
    const auto hours = digits(s, pos + 1, 2);
    const auto minutes = digits(s, pos + 4, 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
    const int offset = *hours * 3600 + *minutes * 60;
    return east ? offset : -offset;
}

}  // namespace

std::optional<double> parseInternetDateTime(QStringView s) {
    // "YYYY-MM-DDTHH:MM:SS" is 19 characters; the zone follows.
    if (s.size() < 20) return std::nullopt;
    if (!at(s, 4, u'-') || !at(s, 7, u'-') || !at(s, 10, u'T') || !at(s, 13, u':') ||
        !at(s, 16, u':'))
        return std::nullopt;
    const auto year = digits(s, 0, 4), month = digits(s, 5, 2), day = digits(s, 8, 2);
    const auto hour = digits(s, 11, 2), minute = digits(s, 14, 2), second = digits(s, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month))
        return std::nullopt;
    if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    const auto offset = zoneOffset(s, 19);
    if (!offset) return std::nullopt;
    const int64_t days = daysFromCivil(*year, *month, *day);
    const int64_t local = days * 86400 + *hour * 3600 + *minute * 60 + *second;
    return static_cast<double>(local - *offset);
}

}  // namespace qv
