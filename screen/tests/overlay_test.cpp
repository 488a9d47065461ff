// Painting hidden windows over and blending the cursor into a grabbed image.
#include <gtest/gtest.h>

#include <algorithm>

#include "overlay.h"

namespace hc {
namespace {

struct CoverCase {
    const char* name;
    std::vector<StackedWindow> stack;  // bottom to top
    Rect area;
    std::vector<Rect> expected;
};

std::vector<Rect> sorted(std::vector<Rect> rects) {
    std::sort(rects.begin(), rects.end(), [](const Rect& a, const Rect& b) {
        return std::tie(a.y, a.x, a.width, a.height) < std::tie(b.y, b.x, b.width, b.height);
    });
    return rects;
}

TEST(CoverRects, PaintsTheVisiblePartsOfHiddenWindows) {
    const Rect screen{0, 0, 100, 100};
    const CoverCase cases[] = {
        {"no hidden window", {{{10, 10, 20, 20}, false}}, screen, {}},
        {"alone", {{{10, 10, 20, 20}, true}}, screen, {{10, 10, 20, 20}}},
        {"clipped to the area", {{{90, -5, 20, 20}, true}}, screen, {{90, 0, 10, 15}}},
        {"outside the area", {{{200, 200, 20, 20}, true}}, screen, {}},
        {"covered whole by a window above",
         {{{10, 10, 20, 20}, true}, {{0, 0, 50, 50}, false}},
         screen,
         {}},
        {"a window below stays",
         {{{0, 0, 50, 50}, false}, {{10, 10, 20, 20}, true}},
         screen,
         {{10, 10, 20, 20}}},
        {"right half covered",
         {{{0, 0, 40, 20}, true}, {{20, 0, 60, 60}, false}},
         screen,
         {{0, 0, 20, 20}}},
        {"a hole in the middle",
         {{{0, 0, 30, 30}, true}, {{10, 10, 10, 10}, false}},
         screen,
         {{0, 0, 30, 10}, {0, 10, 10, 10}, {20, 10, 10, 10}, {0, 20, 30, 10}}},
        {"second monitor's coordinates",
         {{{1930, 10, 20, 20}, true}},
         {1920, 0, 100, 100},
         {{10, 10, 20, 20}}},
    };
    for (const CoverCase& c : cases) {
        EXPECT_EQ(sorted(coverRects(c.stack, c.area)), sorted(c.expected)) << c.name;
    }
}

struct Image {
    int width, height;
    std::vector<std::uint8_t> bytes;
    Image(int w, int h, std::uint8_t value) : width(w), height(h), bytes(w * h * 4, value) {}
    BgrxImage view() { return {bytes.data(), width, height, width * 4}; }
    const std::uint8_t* at(int x, int y) const { return bytes.data() + (y * width + x) * 4; }
};

TEST(PaintOver, FillsOnlyInsideTheImage) {
    Image image(8, 4, 0xFF);
    paintOver(image.view(), {{6, 2, 10, 10}});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t expected = (x >= 6 && y >= 2) ? COVER_GREY : 0xFF;
            EXPECT_EQ(image.at(x, y)[0], expected) << x << "," << y;
        }
    }
}

TEST(DrawCursor, BlendsPremultipliedPixelsAtTheHotSpot) {
    Image image(4, 4, 200);
    // 2 × 2 cursor, hot spot at its lower right pixel: opaque red, half-transparent black,
    // fully transparent, opaque white.
    CursorImage cursor{{0xFFFF0000u, 0x80000000u, 0x00000000u, 0xFFFFFFFFu}, 2, 2, 1, 1};
    drawCursor(image.view(), cursor, 2, 2);
    const auto bgr = [&](int x, int y) {
        const std::uint8_t* p = image.at(x, y);
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(bgr(1, 1), (std::vector<int>{0, 0, 255}));      // red
    EXPECT_EQ(bgr(2, 1), (std::vector<int>{100, 100, 100}));  // 200 × (1 - 128/255)
    EXPECT_EQ(bgr(1, 2), (std::vector<int>{200, 200, 200}));  // untouched
    EXPECT_EQ(bgr(2, 2), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(bgr(0, 0), (std::vector<int>{200, 200, 200}));
}

TEST(DrawCursor, SkipsWhatLiesOutsideTheImage) {
    Image image(2, 2, 0);
    CursorImage cursor{std::vector<std::uint32_t>(9, 0xFFFFFFFFu), 3, 3, 0, 0};
    drawCursor(image.view(), cursor, 1, 1);  // only pixel (1,1) is inside
    drawCursor(image.view(), cursor, -5, -5);
    EXPECT_EQ(image.at(1, 1)[0], 255);
    EXPECT_EQ(image.at(0, 0)[0], 0);
    EXPECT_EQ(image.at(1, 0)[0], 0);
}

}  // namespace
}  // namespace hc

namespace hc {
namespace {

TEST(SimplifyRegion, ClipsMergesTheClosestAndGivesUpOnMostOfTheScreen) {
    const Rect screen{0, 0, 1000, 1000};
    struct Case {
        const char* name;
        std::vector<Rect> rects;
        std::size_t maxRects;
        std::vector<Rect> expected;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, 4, {}},
        {"clipped, the empty and the outside dropped",
         {{-10, -10, 30, 30}, {5, 5, 0, 10}, {2000, 0, 10, 10}},
         4,
         {{0, 0, 20, 20}}},
        {"few enough: kept as they are",
         {{0, 0, 10, 10}, {500, 500, 10, 10}},
         2,
         {{0, 0, 10, 10}, {500, 500, 10, 10}}},
        {"the two neighbours merge, the far one stays",
         {{0, 0, 10, 10}, {12, 0, 10, 10}, {900, 900, 10, 10}},
         2,
         {{0, 0, 22, 10}, {900, 900, 10, 10}}},
        {"most of the screen: the screen", {{0, 0, 1000, 800}}, 4, {screen}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(simplifyRegion(c.rects, screen, c.maxRects), c.expected) << c.name;

    std::vector<Rect> glyphs;
    for (int i = 0; i < 100; ++i) glyphs.push_back({100 + i * 8, 300, 7, 12});
    EXPECT_EQ(simplifyRegion(glyphs, screen, 4), (std::vector<Rect>{{100, 300, 799, 12}}))
        << "a line of glyphs becomes one rectangle";
}

}  // namespace
}  // namespace hc
