// The change test, the spacing of stills, their names and the thumbnail they compare.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "recorder_fakes.h"
#include "screen_image.h"
#include "snapshots.h"
#include "temp_dir.h"

namespace hc {
namespace {

using test::FakeJpegEncoder;
using test::TempDir;

std::vector<std::uint8_t> thumbWith(int changed, int by) {
    std::vector<std::uint8_t> thumb(THUMB_PIXELS, 100);
    for (int i = 0; i < changed; ++i) thumb[i] = static_cast<std::uint8_t>(100 + by);
    return thumb;
}

TEST(ChangedEnough, NeedsMoreThanSixPercentOfPixelsByNineteenLevels) {
    struct Case {
        int changed, by;
        bool expected;
    };
    const Case cases[] = {
        {77, 19, false},   {78, 19, true},   {78, -19, true},    {78, 18, false},
        {1296, 18, false}, {1296, 19, true}, {1296, -18, false}, {0, 0, false},
    };
    const std::vector<std::uint8_t> last(THUMB_PIXELS, 100);
    for (const Case& c : cases) {
        EXPECT_EQ(changedEnough(thumbWith(c.changed, c.by), last), c.expected)
            << c.changed << " pixels by " << c.by;
    }
}

TEST(StillName, WholeSecondsWithAtLeastFiveDigits) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "t00000.jpg"},      {7.99, "t00007.jpg"},      {12.9, "t00012.jpg"},
        {99999.99, "t99999.jpg"}, {100000.5, "t100000.jpg"}, {123456.0, "t123456.jpg"},
    };
    for (const auto& [t, name] : cases) EXPECT_EQ(stillName(t), name) << t;
}

// Pictures in Y'CbCr: grey levels map to Y' = 16 + level × 219 / 255 with neutral chroma.
Picture greyPicture(int level, int width = 96, int height = 54) {
    Picture p(width, height);
    p.fill(static_cast<std::uint8_t>(16 + level * 219 / 255), 128, 128);
    return p;
}

TEST(GreyThumbnail, AveragesEachCellToItsGrey) {
    struct Case {
        const char* name;
        std::uint8_t y, cb, cr;
        int grey;
    };
    const Case cases[] = {
        {"black", 16, 128, 128, 0},
        {"white", 235, 128, 128, 255},
        {"red", 81, 90, 240, 85},
        {"blue", 41, 240, 110, 85},
    };
    for (const Case& c : cases) {
        Picture p(1364, 766);  // a size that does not divide into 48 × 27 cells
        p.fill(c.y, c.cb, c.cr);
        const auto thumb = greyThumbnail(p);
        ASSERT_EQ(thumb.size(), static_cast<std::size_t>(THUMB_PIXELS));
        for (std::uint8_t v : thumb) ASSERT_NEAR(v, c.grey, 1) << c.name;
    }
}

TEST(GreyThumbnail, KeepsWhereThingsAre) {
    Picture p(96, 54);
    p.fill(16, 128, 128);
    for (int y = 0; y < 54; ++y) std::fill_n(p.plane(0) + y * 96, 48, 235);  // left half white
    const auto thumb = greyThumbnail(p);
    for (int row = 0; row < THUMB_HEIGHT; ++row) {
        EXPECT_EQ(thumb[row * THUMB_WIDTH + 0], 255);
        EXPECT_EQ(thumb[row * THUMB_WIDTH + 23], 255);
        EXPECT_EQ(thumb[row * THUMB_WIDTH + 24], 0);
        EXPECT_EQ(thumb[row * THUMB_WIDTH + 47], 0);
    }
}

class SnapshotsTest : public testing::Test {
  protected:
    TempDir dir;
    FakeJpegEncoder jpeg;
    Snapshots snaps{dir.path(), jpeg};

    std::vector<std::string> stills() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SnapshotsTest, TheFirstFrameIsAlwaysKeptAndAStillScreenNoMore) {
    for (double t : {0.0, 2.0, 4.0, 6.0, 60.0}) snaps.snapIfChanged(greyPicture(50), {}, t);
    EXPECT_EQ(stills(), (std::vector<std::string>{"t00000.jpg"}));
}

TEST_F(SnapshotsTest, AChangeTooSoonWaitsAndIsComparedWithTheLastStill) {
    snaps.snapIfChanged(greyPicture(0), {}, 0.0);
    snaps.snapIfChanged(greyPicture(255), {}, 2.0);  // too soon: nothing kept
    EXPECT_EQ(snaps.lastSnapAt(), 0.0);
    snaps.snapIfChanged(greyPicture(255), {}, 4.0);
    EXPECT_EQ(stills(), (std::vector<std::string>{"t00000.jpg", "t00004.jpg"}));
}

TEST_F(SnapshotsTest, ASlowChangeBuildsUpAgainstTheLastStill) {
    snaps.snapIfChanged(greyPicture(100), {}, 0.0);
    snaps.snapIfChanged(greyPicture(110), {}, 4.0);  // 10 levels: not enough
    snaps.snapIfChanged(greyPicture(120), {}, 8.0);  // 20 levels from the still at 0
    EXPECT_EQ(stills(), (std::vector<std::string>{"t00000.jpg", "t00008.jpg"}));
}

TEST_F(SnapshotsTest, AStillThatCannotBeEncodedStillCounts) {
    jpeg.fails = true;
    snaps.snapIfChanged(greyPicture(0), {}, 0.0);
    jpeg.fails = false;
    snaps.snapIfChanged(greyPicture(255), {}, 2.0);
    EXPECT_TRUE(stills().empty());
    snaps.snapIfChanged(greyPicture(255), {}, 4.0);
    EXPECT_EQ(stills(), (std::vector<std::string>{"t00004.jpg"}));
}

TEST_F(SnapshotsTest, AStillReplacesAnOlderFileOfItsName) {
    std::ofstream(dir / "t00000.jpg") << "an older run's still, longer than the new one";
    snaps.snapIfChanged(greyPicture(255), {}, 0.5);
    std::ifstream in(dir / "t00000.jpg", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(bytes, std::string("J") + static_cast<char>(235));
}

TEST_F(SnapshotsTest, AFolderThatIsGoneOnlyLosesTheStills) {
    std::filesystem::remove_all(dir.path());
    snaps.snapIfChanged(greyPicture(0), {}, 0.0);
    EXPECT_EQ(jpeg.calls, 1);
    EXPECT_EQ(snaps.lastSnapAt(), 0.0);
    EXPECT_FALSE(std::filesystem::exists(dir.path()));
}

}  // namespace
}  // namespace hc

namespace hc {
namespace {

// A still reaches its name whole or not at all: what blocks the write leaves no file behind.
TEST(WriteStill, TheNameHoldsTheWholeFileOrNothing) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> arrange;
        bool written;
    };
    const std::vector<Case> cases = {
        {"a plain folder", [](const auto&) {}, true},
        {"an older still of the name",
         [](const auto& d) { std::ofstream(d / "t00004.jpg") << "old"; }, true},
        {"the working name is taken by a folder",
         [](const auto& d) { std::filesystem::create_directory(d / ".t00004.jpg.part"); }, false},
        {"a folder under the still's name",
         [](const auto& d) { std::filesystem::create_directories(d / "t00004.jpg" / "inside"); },
         false},
    };
    const std::vector<std::uint8_t> bytes(5000, 0xAB);
    for (const Case& c : cases) {
        TempDir dir;
        c.arrange(dir.path());
        writeStill(dir.path(), "t00004.jpg", bytes);
        const auto target = dir / "t00004.jpg";
        if (c.written) {
            std::ifstream in(target, std::ios::binary);
            const std::string got{std::istreambuf_iterator<char>(in), {}};
            EXPECT_EQ(got, std::string(5000, '\xAB')) << c.name;
        } else {
            EXPECT_FALSE(std::filesystem::is_regular_file(target)) << c.name;
        }
        EXPECT_FALSE(std::filesystem::is_regular_file(dir / ".t00004.jpg.part")) << c.name;
    }
}

}  // namespace
}  // namespace hc

namespace hc {
namespace {

using Bgrx = test::ScreenImage;

// The change test compares the captured colours themselves: (r + g + b) / 3 of each cell,
// with no detour through the video's Y'CbCr (which moves saturated colours by several levels).
TEST(GreyThumbnailOfTheScreen, IsTheMeanOfTheColours) {
    struct Case {
        const char* name;
        std::uint8_t r, g, b;
        int grey;
    };
    const Case cases[] = {
        {"black", 0, 0, 0, 0},         {"white", 255, 255, 255, 255}, {"blue", 0, 0, 255, 85},
        {"red", 255, 0, 0, 85},        {"yellow", 255, 255, 0, 170},  {"teal", 0, 128, 128, 85},
        {"near grey", 19, 20, 21, 20},
    };
    for (const Case& c : cases) {
        Bgrx image(96, 54);
        image.fill({0, 0, 96, 54}, c.r, c.g, c.b);
        const std::vector<std::uint8_t> thumb = greyThumbnail(image.view());
        ASSERT_EQ(thumb.size(), static_cast<std::size_t>(THUMB_PIXELS));
        EXPECT_EQ(thumb[0], c.grey) << c.name;
        EXPECT_EQ(thumb[THUMB_PIXELS - 1], c.grey) << c.name;
    }
    // Cells are area means: a 2 × 2 cell of two white and two black pixels is 128.
    Bgrx halves(96, 54);
    halves.fill({0, 0, 96, 27}, 255, 255, 255);
    for (int y = 0; y < 54; y += 2) halves.fill({0, y, 96, 1}, 0, 0, 0);
    EXPECT_EQ(greyThumbnail(halves.view())[0], 128);
}

TEST(ThumbnailCells, UpdatingTheChangedRectanglesMatchesTheWholeImage) {
    struct Case {
        int width, height;
        std::vector<Rect> changes;
    };
    const std::vector<Case> cases = {
        {1920, 1080, {{100, 100, 50, 20}, {0, 0, 1, 1}, {1900, 1070, 20, 10}}},
        {1366, 768, {{500, 300, 400, 200}, {-10, -10, 30, 30}}},
        {40, 20, {{3, 3, 5, 5}}},  // fewer pixels than cells on a side
    };
    for (const Case& c : cases) {
        Bgrx image(c.width, c.height);
        image.fill({0, 0, c.width, c.height}, 10, 20, 30);
        ThumbnailCells cells(c.width, c.height);
        cells.update(image.view(), {0, 0, c.width, c.height});
        std::uint8_t level = 40;
        for (const Rect& r : c.changes) {
            const Rect inside = intersect(r, {0, 0, c.width, c.height});
            image.fill(inside, level, static_cast<std::uint8_t>(level * 2), 255);
            cells.update(image.view(), r);
            level = static_cast<std::uint8_t>(level + 70);
        }
        EXPECT_EQ(cells.grey(), greyThumbnail(image.view())) << c.width << "x" << c.height;
    }
}

// The recorder takes the thumbnail the source made from the captured colours when there is
// one, and the video picture's only when there is none.
TEST_F(SnapshotsTest, TheCapturedThumbnailDecidesOverThePicture) {
    const std::vector<std::uint8_t> dark(THUMB_PIXELS, 10), light(THUMB_PIXELS, 200);
    snaps.snapIfChanged(greyPicture(128), dark, 0.0);
    snaps.snapIfChanged(greyPicture(128), light, 4.0);  // the same picture, other colours
    snaps.snapIfChanged(greyPicture(250), light, 8.0);  // another picture, the same colours
    EXPECT_EQ(stills(), (std::vector<std::string>{"t00000.jpg", "t00004.jpg"}));
}

}  // namespace
}  // namespace hc
