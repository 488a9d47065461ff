// What is drawn over a grabbed screen image before it is scaled: hidden windows painted over,
// the cursor blended in. Pure functions on caller-owned pixels; any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace hc {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const Rect&) const = default;
};

Rect intersect(const Rect& a, const Rect& b);
// The parts of `a` outside `b`: at most four rectangles, none of them empty.
std::vector<Rect> subtract(const Rect& a, const Rect& b);

// The smallest rectangle holding both; an empty one adds nothing.
Rect bounding(const Rect& a, const Rect& b);

// A changed region made cheap to work on: the rectangles clipped to `bounds`, empty ones
// dropped, and the closest ones merged (into their bounding rectangle) until at most
// `maxRects` are left. When they cover most of `bounds` anyway, `bounds` alone.
std::vector<Rect> simplifyRegion(std::vector<Rect> rects, const Rect& bounds, std::size_t maxRects);

// A top-level window as the window system stacks it.
struct StackedWindow {
    Rect rect;  // screen coordinates, border included
    bool hidden = false;
};

// The visible parts of the hidden windows inside `area`, in coordinates relative to `area`.
// `stack` runs from the bottom window to the top one; a window covers those below it.
std::vector<Rect> coverRects(const std::vector<StackedWindow>& stack, const Rect& area);

// A 32-bit image in memory order blue, green, red, unused (what X servers deliver).
struct BgrxImage {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
};

// The colour hidden windows are painted with.
inline constexpr std::uint8_t COVER_GREY = 0x40;

// Paints each rectangle (clipped to the image) with COVER_GREY.
void paintOver(BgrxImage image, const std::vector<Rect>& rects);

// A cursor image: 32-bit ARGB words with premultiplied alpha, row after row, and the point
// of it that sits at the pointer position.
struct CursorImage {
    std::vector<std::uint32_t> argb;
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
};

// Blends `cursor` over `image` with its hot spot at (x, y) in image coordinates; the parts
// outside the image are skipped.
void drawCursor(BgrxImage image, const CursorImage& cursor, int x, int y);

}  // namespace hc
