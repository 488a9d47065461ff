#include "core/status_title.h"

#include <cmath>

namespace qv {

QString elapsedText(double seconds) {
    const qint64 n = seconds > 0 ? static_cast<qint64>(std::trunc(seconds)) : 0;
    if (n < 3600) {
        return QStringLiteral("%1:%2").arg(n / 60).arg(n % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2:%3")
        .arg(n / 3600)
        .arg((n / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace qv
