// Frames from a compositor's stream of pictures: when they are delivered (as they arrive, one
// per interval at most, idle frames between), and what they hold (the picture scaled into the
// frame in any of the stream's byte orders, hidden windows painted over, the thumbnail of the
// captured colours, a size change followed).
#include <gtest/gtest.h>

#include <map>

#include "screen_image.h"
#include "snapshots.h"
#include "stream_frames.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using Clock = StreamFrames::Clock;

constexpr auto INTERVAL = 200ms;

Clock::time_point at(int ms) {
    return Clock::time_point{} + std::chrono::milliseconds(ms);
}

// A stream whose pictures the test sends; the newest one waits until it is taken.
class FakeStream final : public PictureStream {
  public:
    struct Sent {
        std::vector<std::uint8_t> bytes;
        int width, height;
        PixelLayout layout;
    };
    void send(test::ScreenImage image, PixelLayout layout = PixelLayout::BGRx) {
        waiting = Sent{std::move(image.bytes), image.width, image.height, layout};
    }
    bool hasPicture() override { return waiting.has_value(); }
    bool takeNewest(const std::function<void(const StreamImage&)>& use) override {
        if (!waiting) return false;
        use({waiting->bytes.data(), waiting->width, waiting->height, waiting->width * 4,
             waiting->layout});
        taken = std::move(*waiting);
        waiting.reset();
        return true;
    }
    std::optional<Sent> waiting;
    std::optional<Sent> taken;  // the last one, as it was after its use
};

class Collector final : public FrameReceiver {
  public:
    bool wants = true;
    std::vector<Frame> frames;
    std::vector<std::string> changes;
    bool wantsFrame() override { return wants; }
    void receive(Frame f) override { frames.push_back(std::move(f)); }
    void stopped(const std::string&) override {}
    void displayChanged(const std::string& d) override { changes.push_back(d); }
};

test::ScreenImage filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    test::ScreenImage image(width, height);
    image.fill({0, 0, width, height}, r, g, b);
    return image;
}

int seconds2ms(double s) {
    return static_cast<int>(std::lround(s * 1000));
}

std::string describe(const std::vector<Frame>& frames) {
    std::string text;
    for (const Frame& f : frames) {
        if (!text.empty()) text += " ";
        if (f.status == FrameStatus::Idle) {
            text += "idle@" + std::to_string(seconds2ms(f.pts));
        } else {
            // Each picture sent is grey at the level of the millisecond it was sent / 10.
            text += "picture" + std::to_string(f.thumbnail.at(0) * 10) + "@" +
                    std::to_string(seconds2ms(f.pts));
        }
    }
    return text;
}

// Plays the capture thread: a pass at each arrival (the stream wakes it) and whenever the last
// pass asked for one, until `end` ms.
std::string play(const std::vector<int>& arrivals, int end) {
    FakeStream stream;
    Collector receiver;
    StreamFrames frames(stream, 32, 18, INTERVAL, {});
    std::size_t next = 0;
    Clock::time_point due = at(0);
    while (true) {
        const bool arrival = next < arrivals.size() && at(arrivals[next]) <= due;
        const Clock::time_point now = arrival ? at(arrivals[next]) : due;
        if (now > at(end)) break;
        if (arrival) {
            const int ms = arrivals[next++];
            const auto level = static_cast<std::uint8_t>(ms / 10);
            stream.send(filled(64, 36, level, level, level));
        }
        due = frames.pass(receiver, now);
        EXPECT_GE(due, now);
    }
    return describe(receiver.frames);
}

TEST(StreamFrames, PicturesGoOutAsTheyArriveAtMostOneAnIntervalWithIdleFramesBetween) {
    struct Case {
        const char* name;
        std::vector<int> arrivals;  // ms
        int end;
        const char* expected;
    };
    const Case cases[] = {
        {"nothing comes: an idle frame each interval",
         {},
         700,
         "idle@0 idle@200 idle@400 idle@600"},
        {"in step with the interval",
         {0, 200, 400, 600},
         700,
         "picture0@0 picture200@200 picture400@400 picture600@600"},
        // A fixed tick every 200 ms from 0 would have seen only 390 of 210 and 390.
        {"the compositor's clock drifts against ours",
         {10, 210, 390, 590, 810},
         900,
         "idle@0 picture10@10 picture210@210 picture390@410 picture590@610 picture810@810"},
        {"a picture waits out the interval; a newer one replaces it",
         {0, 50, 120, 300},
         450,
         "picture0@0 picture120@200 picture300@400"},
        {"idle frames do not hold a picture back",
         {330},
         800,
         "idle@0 idle@200 picture330@330 idle@530 idle@730"},
    };
    for (const Case& c : cases) EXPECT_EQ(play(c.arrivals, c.end), c.expected) << c.name;
}

TEST(StreamFrames, AFullReceiverLeavesThePictureWaiting) {
    FakeStream stream;
    Collector receiver;
    StreamFrames frames(stream, 32, 18, INTERVAL, {});
    stream.send(filled(64, 36, 90, 90, 90));
    receiver.wants = false;
    EXPECT_EQ(frames.pass(receiver, at(0)), at(200));
    EXPECT_TRUE(receiver.frames.empty());
    EXPECT_TRUE(stream.hasPicture());
    receiver.wants = true;
    frames.pass(receiver, at(200));
    ASSERT_EQ(receiver.frames.size(), 1u);
    EXPECT_EQ(receiver.frames[0].status, FrameStatus::Complete);
    EXPECT_FALSE(stream.hasPicture());
}

TEST(StreamFrames, EveryByteOrderOfTheStreamGivesTheSameColours) {
    // The same four bytes in memory: blue in the first order, red in the second.
    struct Case {
        PixelLayout layout;
        int y, cb, cr;
    };
    const Case cases[] = {
        {PixelLayout::BGRx, 41, 240, 110},
        {PixelLayout::BGRA, 41, 240, 110},
        {PixelLayout::RGBx, 82, 90, 240},
        {PixelLayout::RGBA, 82, 90, 240},
    };
    for (const Case& c : cases) {
        FakeStream stream;
        Collector receiver;
        StreamFrames frames(stream, 32, 18, INTERVAL, {});
        test::ScreenImage image(64, 36);
        for (std::size_t i = 0; i < image.bytes.size(); i += 4) {
            image.bytes[i] = 255;
            image.bytes[i + 3] = 255;
        }
        stream.send(image, c.layout);
        frames.pass(receiver, at(0));
        ASSERT_EQ(receiver.frames.size(), 1u);
        const Picture& p = *receiver.frames[0].picture;
        EXPECT_NEAR(p.plane(0)[5 * 32 + 7], c.y, 1) << static_cast<int>(c.layout);
        EXPECT_NEAR(p.plane(1)[2 * 16 + 3], c.cb, 1) << static_cast<int>(c.layout);
        EXPECT_NEAR(p.plane(2)[2 * 16 + 3], c.cr, 1) << static_cast<int>(c.layout);
        // 255 / 3 whichever byte is the colour.
        EXPECT_EQ(receiver.frames[0].thumbnail, std::vector<std::uint8_t>(THUMB_PIXELS, 85));
    }
}

TEST(StreamFrames, TheThumbnailIsOfTheCapturedColoursNotOfThePicture) {
    // Fine stripes that the frame's 2 : 1 scaling averages away; the thumbnail is made from
    // the stream's own pixels, exactly as the thumbnail of a captured screen.
    test::ScreenImage image(192, 108);
    for (int x = 0; x < 192; x += 2) image.fill({x, 0, 1, 108}, 250, 10, 120);
    std::mt19937 random(7);
    image.noise({40, 30, 50, 40}, random);
    const std::vector<std::uint8_t> expected = greyThumbnail(image.view());
    FakeStream stream;
    Collector receiver;
    StreamFrames frames(stream, 96, 54, INTERVAL, {});
    stream.send(image);
    frames.pass(receiver, at(0));
    ASSERT_EQ(receiver.frames.size(), 1u);
    EXPECT_EQ(receiver.frames[0].thumbnail, expected);
}

TEST(StreamFrames, HiddenWindowsArePaintedOverInThePictureAndTheThumbnailOnly) {
    FakeStream stream;
    Collector receiver;
    std::vector<std::pair<int, int>> asked;
    // The left half of the image, whatever its size.
    StreamFrames frames(stream, 32, 18, INTERVAL, [&](int width, int height) {
        asked.emplace_back(width, height);
        return std::vector<Rect>{{0, 0, width / 2, height}};
    });
    stream.send(filled(64, 36, 0, 200, 0));
    frames.pass(receiver, at(0));
    ASSERT_EQ(receiver.frames.size(), 1u);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{64, 36}}));
    const Frame& f = receiver.frames[0];
    const int coverLuma = 16 + (219 * COVER_GREY + 127) / 255;
    EXPECT_NEAR(f.picture->plane(0)[9 * 32 + 4], coverLuma, 1) << "covered";
    EXPECT_NEAR(f.picture->plane(1)[4 * 16 + 2], 128, 1) << "covered";
    EXPECT_NEAR(f.picture->plane(0)[9 * 32 + 28], 117, 1) << "the rest is green";
    for (int y = 0; y < THUMB_HEIGHT; ++y) {
        EXPECT_EQ(f.thumbnail[y * THUMB_WIDTH + 3], COVER_GREY) << y;
        EXPECT_EQ(f.thumbnail[y * THUMB_WIDTH + 40], 200 / 3) << y;
    }
    // The compositor's buffer is never written.
    ASSERT_TRUE(stream.taken.has_value());
    EXPECT_EQ(stream.taken->bytes, filled(64, 36, 0, 200, 0).bytes);
}

TEST(StreamFrames, AHeldPictureIsNeverWrittenAgain) {
    FakeStream stream;
    Collector receiver;
    StreamFrames frames(stream, 32, 18, INTERVAL, {});
    const std::uint8_t levels[] = {20, 120, 220, 60};
    for (int i = 0; i < 4; ++i) {
        stream.send(filled(64, 36, levels[i], levels[i], levels[i]));
        frames.pass(receiver, at(200 * i));
        // The recorder lets go of all but the first and the newest picture.
        if (i >= 2) receiver.frames[i - 1].picture.reset();
    }
    ASSERT_EQ(receiver.frames.size(), 4u);
    const auto lumaOf = [](int level) { return 16 + (219 * level + 127) / 255; };
    EXPECT_NEAR(receiver.frames[0].picture->plane(0)[100], lumaOf(20), 1);
    EXPECT_NEAR(receiver.frames[3].picture->plane(0)[100], lumaOf(60), 1);
}

TEST(StreamFrames, AStreamThatChangesSizeIsLetterboxedIntoTheSameFrameAndSaidOnce) {
    FakeStream stream;
    Collector receiver;
    StreamFrames frames(stream, 32, 18, INTERVAL, {});
    stream.send(filled(64, 36, 255, 255, 255));
    frames.pass(receiver, at(0));
    EXPECT_TRUE(receiver.changes.empty());
    for (int i = 1; i <= 2; ++i) {
        stream.send(filled(48, 36, 255, 255, 255));  // 4 : 3 now
        frames.pass(receiver, at(200 * i));
    }
    EXPECT_EQ(receiver.changes,
              std::vector<std::string>{"screen changed: recording the shared monitor at 48x36 "
                                       "(was 64x36), scaled into the video's 32x18"});
    ASSERT_EQ(receiver.frames.size(), 3u);
    for (const Frame& f : receiver.frames) {
        EXPECT_EQ(f.picture->width(), 32);
        EXPECT_EQ(f.picture->height(), 18);
    }
    // 48x36 into 32x18: 24x18 in the middle, black bars of 4 on either side.
    const Picture& p = *receiver.frames[2].picture;
    for (int x : {0, 3, 28, 31}) EXPECT_EQ(p.plane(0)[9 * 32 + x], 16) << x;
    for (int x : {4, 16, 27}) EXPECT_NEAR(p.plane(0)[9 * 32 + x], 235, 1) << x;
}

}  // namespace
}  // namespace hc
