// The texts a tray host shows for the recording title: the label beside the icon, the width
// it reserves for it, and the tooltip. Values only; the tray adapters render them.
#pragma once

#include <QString>

namespace qv {

struct TrayLabel {
    // " ● " and the elapsed time while recording ("0:05"), empty otherwise. Plain text: hosts
    // draw labels without colour, so the red mark is on the icon.
    QString label;
    // The label with every digit a zero: the widest text of the label's form, so a host that
    // sizes the label from it does not shift the panel every second.
    QString guide;
    bool operator==(const TrayLabel&) const = default;
};

// From the elapsed-time title the logic sets (empty when not recording).
TrayLabel trayLabel(const QString& elapsed);

// "Quorvia", and while recording "Quorvia ● " with the elapsed time.
QString trayToolTip(const QString& elapsed);

}  // namespace qv
