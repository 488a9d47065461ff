// Hiding windows in a picture that the compositor has already scaled: the hidden windows'
// rectangles, found in the desktop's coordinates, mapped into the recorded frame and painted
// over there. Pure functions; any thread.
#pragma once

#include <vector>

#include "overlay.h"
#include "picture.h"

namespace hc {

// Rectangles relative to `area` (the captured monitor in desktop coordinates) scaled to a
// frame of frameWidth × frameHeight that shows the whole monitor, grown outwards to whole
// pixels and clipped to the frame.
std::vector<Rect> toFrame(const std::vector<Rect>& rects, const Rect& area, int frameWidth,
                          int frameHeight);

// Paints each rectangle with COVER_GREY. Rectangles are grown to even edges, since each
// chroma sample covers two by two pixels.
void paintOver(Picture& picture, const std::vector<Rect>& rects);

}  // namespace hc
