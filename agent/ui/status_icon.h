// The tray glyph: a rounded square of 18 x 18 logical pixels with six holes cut out, drawn in
// one colour so it follows the tray's light or dark text. Needs a QGuiApplication.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace qv {

constexpr int kStatusIconSize = 18;  // logical pixels

// The glyph at a device pixel ratio (1 gives 18 x 18 pixels, 2 gives 36 x 36), transparent
// around and inside the holes. With `recording`, a red dot marks its lower-right corner.
QImage statusIconImage(qreal devicePixelRatio, const QColor& colour, bool recording);

// The glyph at ratios 1 and 2, for the tray.
QIcon statusIcon(const QColor& colour, bool recording);

// The glyph's colour where the tray host does not name one: white on the desktops whose panel
// is dark whatever the applications' colours are, else the palette's text colour.
QColor defaultGlyphColour();

}  // namespace qv
