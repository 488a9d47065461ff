#include "core/tray_label.h"

namespace qv {

namespace {

const QString kMark = QStringLiteral(" \u25CF ");

}  // namespace

TrayLabel trayLabel(const QString& elapsed) {
    if (elapsed.isEmpty()) return {};
    TrayLabel out{kMark + elapsed, kMark + elapsed};
    for (QChar& c : out.guide) {
        if (c.isDigit()) c = QLatin1Char('0');
    }
    return out;
}

QString trayToolTip(const QString& elapsed) {
    const QString name = QStringLiteral("Quorvia");
    return elapsed.isEmpty() ? name : name + kMark + elapsed;
}

}  // namespace qv
