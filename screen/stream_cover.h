// Hiding windows in a picture that the compositor has already scaled: the hidden windows'
// rectangles, found in the desktop's coordinates, mapped into the compositor's picture, where
// they are painted over (paintOver in overlay.h). Pure functions; any thread.
#pragma once

#include <vector>

#include "overlay.h"

namespace hc {

// Rectangles relative to `area` (the captured monitor in desktop coordinates) scaled to a
// frame of frameWidth × frameHeight that shows the whole monitor, grown outwards to whole
// pixels and clipped to the frame.
std::vector<Rect> toFrame(const std::vector<Rect>& rects, const Rect& area, int frameWidth,
                          int frameHeight);

}  // namespace hc
