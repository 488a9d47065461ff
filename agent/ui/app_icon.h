// The agent's own icon: the tray glyph in white on a blue tile. Drawn, not loaded, so it is
// sharp at every size. Needs a QGuiApplication.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace qv {

// The two colours of the agent's accent, light then deep.
inline const QColor kAccentLight = QColor::fromRgbF(0.125f, 0.627f, 0.816f);
inline const QColor kAccentDeep = QColor::fromRgbF(0.086f, 0.188f, 0.518f);

// The icon as a square pixmap of `side` logical pixels at a device pixel ratio.
QPixmap applicationIconPixmap(int side, qreal devicePixelRatio);

// The icon at the usual sizes, for windows and panels.
QIcon applicationIcon();

}  // namespace qv
