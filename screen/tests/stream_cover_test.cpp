// Hidden windows found in desktop coordinates, painted over in a frame the compositor scaled.
#include <gtest/gtest.h>

#include "stream_cover.h"

namespace hc {
namespace {

TEST(ToFrame, MapsDesktopRectanglesIntoTheFrame) {
    struct Case {
        const char* name;
        Rect rect;  // relative to the monitor
        Rect area;  // the monitor in desktop coordinates
        int w, h;   // the frame
        std::vector<Rect> expected;
    };
    const Case cases[] = {
        {"the whole monitor",
         {0, 0, 1920, 1080},
         {0, 0, 1920, 1080},
         1600,
         900,
         {{0, 0, 1600, 900}}},
        {"grown outwards to whole pixels",
         {100, 100, 300, 200},
         {0, 0, 1920, 1080},
         1600,
         900,
         {{83, 83, 251, 167}}},
        {"same size: unchanged",
         {10, 20, 30, 40},
         {500, 0, 1440, 900},
         1440,
         900,
         {{10, 20, 30, 40}}},
        {"a scale-2 monitor (960x540 logical) recorded at 1600x900",
         {480, 270, 480, 270},
         {0, 0, 960, 540},
         1600,
         900,
         {{800, 450, 800, 450}}},
        {"partly off the monitor: clipped",
         {-50, 1000, 200, 200},
         {0, 0, 1920, 1080},
         1920,
         1080,
         {{0, 1000, 150, 80}}},
        {"wholly off the monitor: nothing", {2000, 0, 100, 100}, {0, 0, 1920, 1080}, 1600, 900, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(toFrame({c.rect}, c.area, c.w, c.h), c.expected) << c.name;
    EXPECT_TRUE(toFrame({{0, 0, 10, 10}}, {0, 0, 0, 0}, 100, 100).empty()) << "no monitor";
}

TEST(PaintOverPicture, PaintsGreyOnEvenEdgesAndNothingElse) {
    Picture p(8, 6);
    p.fill(200, 90, 160);
    paintOver(p, {{3, 1, 2, 2}, {7, 5, 5, 5}});  // odd edges; the second runs off the picture
    // Grown to x 2..6, y 0..4, and x 6..8, y 4..6.
    const auto covered = [](int x, int y) {
        return (x >= 2 && x < 6 && y >= 0 && y < 4) || (x >= 6 && y >= 4);
    };
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t luma = p.plane(0)[y * p.stride(0) + x];
            const std::uint8_t cb = p.plane(1)[(y / 2) * p.stride(1) + x / 2];
            const std::uint8_t cr = p.plane(2)[(y / 2) * p.stride(2) + x / 2];
            if (covered(x, y)) {
                EXPECT_EQ(luma, 71) << x << "," << y;  // grey 0x40 in limited range
                EXPECT_EQ(cb, 128) << x << "," << y;
                EXPECT_EQ(cr, 128) << x << "," << y;
            } else {
                EXPECT_EQ(luma, 200) << x << "," << y;
                EXPECT_EQ(cb, 90) << x << "," << y;
                EXPECT_EQ(cr, 160) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace hc
