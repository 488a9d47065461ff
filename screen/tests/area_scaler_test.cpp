// Area scaling from screen images to frame pictures: where the screen goes in the frame, the
// colours, and that a rectangle brought up to date alone matches scaling the whole image.
#include <gtest/gtest.h>

#include <random>

#include "area_scaler.h"
#include "screen_image.h"

namespace hc {
namespace {

using Image = test::ScreenImage;

bool samePlanes(const Picture& a, const Picture& b) {
    for (int i = 0; i < 3; ++i) {
        const std::size_t n = static_cast<std::size_t>(a.stride(i)) * a.planeHeight(i);
        if (!std::equal(a.plane(i), a.plane(i) + n, b.plane(i))) return false;
    }
    return true;
}

TEST(FitInto, KeepsTheShapeCentredWithEvenEdges) {
    struct Case {
        int w, h;
        Rect expected;
    };
    const Case cases[] = {
        {1920, 1080, {0, 0, 1600, 900}},  // same shape
        {1280, 720, {0, 0, 1600, 900}},   // same shape, smaller: scaled up
        {960, 1080, {400, 0, 800, 900}},  // taller: bars left and right
        {1280, 1024, {238, 0, 1124, 900}},
        {3840, 1080, {0, 224, 1600, 450}},  // wider: bars above and below
    };
    for (const Case& c : cases)
        EXPECT_EQ(fitInto(c.w, c.h, 1600, 900), c.expected) << c.w << "x" << c.h;
}

TEST(AreaScaler, ColoursBecomeVideoRangeYCbCr) {
    struct Case {
        const char* name;
        std::uint8_t r, g, b;
        int y, cb, cr;
    };
    const Case cases[] = {
        {"black", 0, 0, 0, 16, 128, 128},       {"white", 255, 255, 255, 235, 128, 128},
        {"grey", 128, 128, 128, 126, 128, 128}, {"red", 255, 0, 0, 82, 90, 240},
        {"green", 0, 255, 0, 145, 54, 34},      {"blue", 0, 0, 255, 41, 240, 110},
    };
    for (const Case& c : cases) {
        Image image(64, 36);
        image.fill({0, 0, 64, 36}, c.r, c.g, c.b);
        Picture picture(32, 18);
        const AreaScaler scaler(64, 36, {0, 0, 32, 18});
        scaler.scale(image.view(), picture, {0, 0, 32, 18});
        EXPECT_NEAR(picture.plane(0)[5 * 32 + 7], c.y, 1) << c.name;
        EXPECT_NEAR(picture.plane(1)[2 * 16 + 3], c.cb, 1) << c.name;
        EXPECT_NEAR(picture.plane(2)[2 * 16 + 3], c.cr, 1) << c.name;
    }
}

TEST(AreaScaler, EachOutputPixelIsTheMeanOfItsFootprint) {
    // Columns of alternating black and white pixels, halved: every output pixel is mid grey.
    Image image(64, 32);
    for (int x = 0; x < 64; x += 2) image.fill({x, 0, 1, 32}, 255, 255, 255);
    Picture picture(32, 16);
    AreaScaler(64, 32, {0, 0, 32, 16}).scale(image.view(), picture, {0, 0, 32, 16});
    for (int x = 0; x < 32; ++x) EXPECT_NEAR(picture.plane(0)[3 * 32 + x], 126, 1) << x;
    // At 3 : 2, output pixel 0 covers a white pixel and half a black one, pixel 2 a black one
    // and half a white one.
    Picture thirds(42, 20);
    AreaScaler(63, 30, {0, 0, 42, 20}).scale(image.view(), thirds, {0, 0, 42, 20});
    EXPECT_NEAR(thirds.plane(0)[3 * 42 + 0], 16 + 219 * 2 / 3, 2);
    EXPECT_NEAR(thirds.plane(0)[3 * 42 + 2], 16 + 219 / 3, 2);
}

// The screen changes in a rectangle; the picture brought up to date in outputFor(rect) alone
// equals the whole image scaled afresh, whatever the ratio, for upscaling and letterboxing too.
TEST(AreaScaler, AChangedRectangleAloneGivesTheWholePicture) {
    struct Case {
        int srcW, srcH, frameW, frameH;
    };
    const Case cases[] = {
        {1920, 1080, 1600, 900}, {1366, 768, 1366, 768},  {1280, 720, 1600, 900},
        {640, 480, 320, 180},    {2560, 1440, 1600, 900}, {1365, 767, 1364, 766},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        const Rect target = fitInto(c.srcW, c.srcH, c.frameW, c.frameH);
        const AreaScaler scaler(c.srcW, c.srcH, target);
        Image image(c.srcW, c.srcH);
        image.noise({0, 0, c.srcW, c.srcH}, random);
        Picture updated(c.frameW, c.frameH);
        blackOutside(updated, target);
        scaler.scale(image.view(), updated, target);
        for (int round = 0; round < 5; ++round) {
            const int w = 1 + static_cast<int>(random() % 200),
                      h = 1 + static_cast<int>(random() % 120);
            const Rect changed{static_cast<int>(random() % (c.srcW - w)),
                               static_cast<int>(random() % (c.srcH - h)), w, h};
            image.noise(changed, random);
            const Rect out = scaler.outputFor(changed);
            ASSERT_FALSE(out.empty());
            EXPECT_EQ(out.x % 2 + out.y % 2 + out.width % 2 + out.height % 2, 0);
            EXPECT_EQ(intersect(out, target), out);
            scaler.scale(image.view(), updated, out);
        }
        Picture whole(c.frameW, c.frameH);
        blackOutside(whole, target);
        scaler.scale(image.view(), whole, target);
        EXPECT_TRUE(samePlanes(updated, whole)) << c.srcW << "x" << c.srcH;
    }
}

TEST(AreaScaler, OutsideTheScreenThePictureIsBlack) {
    Image image(100, 200);
    image.fill({0, 0, 100, 200}, 255, 255, 255);
    Picture picture(200, 100);
    picture.fill(99, 99, 99);
    const Rect target = fitInto(100, 200, 200, 100);
    ASSERT_EQ(target, (Rect{74, 0, 50, 100}));
    blackOutside(picture, target);
    AreaScaler(100, 200, target).scale(image.view(), picture, target);
    EXPECT_EQ(picture.plane(0)[50 * 200 + 10], 16);
    EXPECT_EQ(picture.plane(0)[50 * 200 + 100], 235);
    EXPECT_EQ(picture.plane(0)[50 * 200 + 190], 16);
    EXPECT_EQ(picture.plane(1)[25 * 100 + 5], 128);
}

}  // namespace
}  // namespace hc
