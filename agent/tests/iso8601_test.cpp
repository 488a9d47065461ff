// The strict internet date-time parser: what parses, to which instant, and what is refused.
#include <gtest/gtest.h>

#include <QDateTime>

#include "ports/iso8601.h"

using qv::parseInternetDateTime;

namespace {

struct Case {
    const char* text;
    std::optional<double> seconds;
};

TEST(Iso8601, ParsesTheInternetFormAndRejectsEverythingElse) {
    const Case cases[] = {
        {"2024-05-01T10:00:00Z", 1714557600},
        {"2024-05-01T12:00:00+02:00", 1714557600},
        {"2024-05-01T10:00:00+00:00", 1714557600},
        {"2024-05-01T10:00:00-00:00", 1714557600},
        {"2024-02-29T00:00:00-05:30", 1709184600},
        {"1969-12-31T23:59:59Z", -1},
        {"0001-01-01T00:00:00Z", -62135596800},
        {"9999-12-31T23:59:59+23:59", 253402214459},
        // Fractional seconds, missing parts, missing zone.
        {"2024-05-01T10:00:00.250Z", std::nullopt},
        {"2024-05-01T10:00:00", std::nullopt},
        {"2024-05-01T10:00Z", std::nullopt},
        {"2024-05-01", std::nullopt},
        {"", std::nullopt},
        // Other spellings of the separators and the zone.
        {"2024-05-01 10:00:00Z", std::nullopt},
        {"2024-05-01t10:00:00Z", std::nullopt},
        {"2024-05-01T10:00:00z", std::nullopt},
        {"2024-05-01T10:00:00+0200", std::nullopt},
        {"2024-05-01T10:00:00+02", std::nullopt},
        {"2024-05-01T10:00:00 +02:00", std::nullopt},
        {"20240501T100000Z", std::nullopt},
        {" 2024-05-01T10:00:00Z", std::nullopt},
        {"2024-05-01T10:00:00Z ", std::nullopt},
        {"2024-05-01T10:00:00ZZ", std::nullopt},
        {"+2024-05-01T10:00:00Z", std::nullopt},
        {"2024-5-01T10:00:00Z", std::nullopt},
        {"2024-05-01T1a:00:00Z", std::nullopt},
        {"２０２４-05-01T10:00:00Z", std::nullopt},  // full-width digits
        // Out-of-range fields.
        {"2023-02-29T10:00:00Z", std::nullopt},
        {"2024-04-31T10:00:00Z", std::nullopt},
        {"2024-13-01T10:00:00Z", std::nullopt},
        {"2024-00-10T10:00:00Z", std::nullopt},
        {"2024-05-00T10:00:00Z", std::nullopt},
        {"2024-05-01T24:00:00Z", std::nullopt},
        {"2024-05-01T10:60:00Z", std::nullopt},
        {"2016-12-31T23:59:60Z", std::nullopt},
        {"2024-05-01T10:00:00+24:00", std::nullopt},
        {"2024-05-01T10:00:00+02:60", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseInternetDateTime(QString::fromUtf8(c.text)), c.seconds) << c.text;
    }
}

// Every day over two centuries, against Qt's calendar, so month lengths and leap years hold.
TEST(Iso8601, AgreesWithTheCalendarOnEveryDay) {
    for (QDate d(1900, 1, 1); d < QDate(2101, 1, 1); d = d.addDays(1)) {
        const QString text = d.toString(Qt::ISODate) + "T13:45:07+01:30";
        const auto expected = QDateTime(d, QTime(13, 45, 7), Qt::UTC).toSecsSinceEpoch() - 5400;
        ASSERT_EQ(parseInternetDateTime(text), static_cast<double>(expected)) << text.toStdString();
    }
}

}  // namespace
