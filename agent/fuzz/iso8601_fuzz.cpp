// The backend's timestamps: any text either parses to a finite instant that reads back the same
// from its own UTC form, or is refused.
#include <QDateTime>
#include <QTimeZone>
#include <cmath>

#include "fuzz_world.h"
#include "ports/iso8601.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<double> parsed = qv::parseInternetDateTime(text);
    if (!parsed) return 0;
    if (!std::isfinite(*parsed) || *parsed != std::floor(*parsed)) qv::fuzz::broken();
    const QDateTime utc =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(*parsed), QTimeZone::utc());
    if (utc.date().year() < 1 || utc.date().year() > 9999) return 0;
    const QString again = utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    if (qv::parseInternetDateTime(again) != parsed) qv::fuzz::broken();
    return 0;
}
