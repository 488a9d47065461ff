// Hidden windows found in desktop coordinates, mapped into a picture the compositor scaled.
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

}  // namespace
}  // namespace hc
