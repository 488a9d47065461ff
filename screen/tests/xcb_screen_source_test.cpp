// The X11 screen source against a private Xvfb: displays, complete and idle frames, hidden
// windows, the cursor, a full receiver, stopping, and a server that goes away.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "capture_rules.h"
#include "platform/xcb_screen_source.h"
#include "support/xvfb.h"
#include "vnc_server.h"
#include "x_scene.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using test::XScene;

// Collects what the source delivers, on the capture thread.
class Collector final : public FrameReceiver {
  public:
    bool wantsFrame() override {
        std::lock_guard lock(mutex_);
        return accepting_;
    }
    void receive(Frame frame) override {
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(std::move(frame));
        }
        cv_.notify_all();
    }
    void stopped(const std::string& error) override {
        {
            std::lock_guard lock(mutex_);
            error_ = error;
        }
        cv_.notify_all();
    }

    void displayChanged(const std::string& description) override {
        {
            std::lock_guard lock(mutex_);
            changes_.push_back(description);
        }
        cv_.notify_all();
    }

    void accept(bool yes) {
        std::lock_guard lock(mutex_);
        accepting_ = yes;
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    // The first frame after the first `skip` ones that matches, waiting up to 10 s for it.
    std::optional<Frame> next(std::size_t skip, const std::function<bool(const Frame&)>& match) {
        std::unique_lock lock(mutex_);
        std::optional<Frame> found;
        cv_.wait_for(lock, 10s, [&] {
            for (std::size_t i = skip; i < frames_.size(); ++i) {
                if (match(frames_[i])) {
                    found = frames_[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    std::optional<Frame> nextComplete(std::size_t skip) {
        return next(skip, [](const Frame& f) { return f.status == FrameStatus::Complete; });
    }
    std::vector<Frame> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::optional<std::string> waitForChange() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, 10s, [this] { return !changes_.empty(); });
        return changes_.empty() ? std::nullopt : std::optional(changes_.front());
    }
    std::vector<std::string> changes() {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    std::optional<std::string> waitForError() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, 10s, [this] { return error_.has_value(); });
        return error_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool accepting_ = true;
    std::vector<Frame> frames_;
    std::optional<std::string> error_;
    std::vector<std::string> changes_;
};

// Y' of a grey level (R = G = B) in the frames' video range.
int lumaOf(int level) {
    return 16 + level * 219 / 255;
}

int lumaAt(const Picture& p, int x, int y) {
    return p.plane(0)[y * p.stride(0) + x];
}

class XcbScreenSourceTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb->running());
        setenv("DISPLAY", xvfb->display().c_str(), 1);
        scene = std::make_unique<XScene>(xvfb->display());
        ASSERT_TRUE(scene->connected());
    }

    // Starts capturing the whole screen at `width` × `height` (its own size by default).
    void start(int width = 640, int height = 480) {
        const auto content = source.content();
        ASSERT_TRUE(std::holds_alternative<ShareableContent>(content));
        const auto display = chooseDisplay(std::get<ShareableContent>(content));
        ASSERT_TRUE(display);
        const CaptureConfig config{*display, width, height, 0.2, true, isHiddenApplication};
        const auto failure = source.start(config, collector);
        ASSERT_FALSE(failure) << failure->description;
    }

    std::unique_ptr<qv::test::Xvfb> xvfb = std::make_unique<qv::test::Xvfb>(640, 480);
    std::unique_ptr<XScene> scene;
    Collector collector;
    XcbScreenSource source;  // after the collector: stops before the collector goes
};

TEST_F(XcbScreenSourceTest, TheScreenIsTheOneDisplayAndTheMainOne) {
    const auto content = source.content();
    ASSERT_TRUE(std::holds_alternative<ShareableContent>(content));
    const auto& c = std::get<ShareableContent>(content);
    ASSERT_EQ(c.displays.size(), 1u);
    EXPECT_EQ(c.displays[0].width, 640);
    EXPECT_EQ(c.displays[0].height, 480);
    EXPECT_EQ(chooseDisplay(c)->id, c.displays[0].id);
}

TEST_F(XcbScreenSourceTest, OnlyAChangedScreenGivesACompleteFrame) {
    scene->movePointer(639, 479);
    scene->fillRoot(0x000000);
    start(320, 240);
    const auto first = collector.nextComplete(0);
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->picture);
    EXPECT_EQ(first->picture->width(), 320);
    EXPECT_EQ(first->picture->height(), 240);
    EXPECT_NEAR(lumaAt(*first->picture, 100, 100), lumaOf(0), 2);

    // Nothing changes: the following frames are idle and carry no picture.
    const std::size_t seen = collector.count();
    ASSERT_TRUE(collector.next(seen + 2, [](const Frame&) { return true; }));
    const auto frames = collector.frames();
    for (std::size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].status, FrameStatus::Idle) << i;
        EXPECT_FALSE(frames[i].picture) << i;
        EXPECT_GE(frames[i].pts - frames[i - 1].pts, 0.2 - 1e-6) << i;
    }

    scene->fillRoot(0xFFFFFF);
    const auto changed = collector.nextComplete(frames.size());
    ASSERT_TRUE(changed);
    EXPECT_NEAR(lumaAt(*changed->picture, 100, 100), lumaOf(255), 2);
}

TEST_F(XcbScreenSourceTest, WindowsOfHiddenApplicationsArePaintedOver) {
    scene->movePointer(639, 479);
    scene->fillRoot(0x000000);
    scene->window({100, 100, 200, 100}, 0xFFFFFF, test::wmClassOf("com.lumaret.quorvia"));
    scene->window({400, 100, 200, 100}, 0xFFFFFF, test::wmClassOf("com.lumaret"));
    scene->window({250, 300, 100, 100}, 0xFFFFFF, test::wmClassOf("com.lumaret.card"));
    scene->window({280, 330, 200, 100}, 0x808080, test::wmClassOf("org.example.editor"));
    start();
    const auto frame = collector.nextComplete(0);
    ASSERT_TRUE(frame);
    const Picture& p = *frame->picture;
    struct Probe {
        const char* what;
        int x, y, level;
    };
    const Probe probes[] = {
        {"hidden window", 200, 150, COVER_GREY},
        {"\"com.lumaret\" is not hidden", 500, 150, 255},
        {"desktop", 50, 50, 0},
        {"hidden window's uncovered part", 260, 310, COVER_GREY},
        {"window above a hidden one", 300, 350, 0x80},
    };
    for (const Probe& probe : probes) {
        EXPECT_NEAR(lumaAt(p, probe.x, probe.y), lumaOf(probe.level), 2) << probe.what;
    }
}

TEST_F(XcbScreenSourceTest, TheCursorIsDrawnAndMovingItIsAChange) {
    scene->fillRoot(0xFFFFFF);
    scene->movePointer(600, 440);
    start();
    ASSERT_TRUE(collector.nextComplete(0));
    const std::size_t seen = collector.count();
    scene->movePointer(200, 200);
    const auto moved = collector.nextComplete(seen);
    ASSERT_TRUE(moved) << "a pointer move alone makes the next frame complete";
    // The cursor's pixels differ from the white screen around its hot spot.
    int darker = 0;
    for (int y = 195; y < 215; ++y)
        for (int x = 195; x < 215; ++x) darker += lumaAt(*moved->picture, x, y) < lumaOf(200);
    EXPECT_GT(darker, 5);
    EXPECT_NEAR(lumaAt(*moved->picture, 400, 300), lumaOf(255), 2);
}

bool samePicture(const Picture& a, const Picture& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int i = 0; i < 3; ++i) {
        const std::size_t n = static_cast<std::size_t>(a.stride(i)) * a.planeHeight(i);
        if (!std::equal(a.plane(i), a.plane(i) + n, b.plane(i))) return false;
    }
    return true;
}

// The samples in which `after` differs from `before` outside the rectangles `change` lists
// (none when it says the whole picture changed).
int changedOutside(const Picture& before, const Picture& after, const PictureChange& change) {
    if (change.whole) return 0;
    const auto listed = [&](int x, int y) {
        for (const Rect& r : change.rects)
            if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
        return false;
    };
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        const int scale = i == 0 ? 1 : 2;
        for (int y = 0; y < after.planeHeight(i); ++y)
            for (int x = 0; x < after.stride(i); ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * after.stride(i) + x;
                if (before.plane(i)[at] != after.plane(i)[at] && !listed(x * scale, y * scale))
                    ++count;
            }
    }
    return count;
}

// Only what changed is grabbed and scaled, into the picture kept from the frames before; the
// result is the picture a capture of the whole screen gives, thumbnail included, and each frame
// says truly where its picture differs from the one before.
TEST_F(XcbScreenSourceTest, AChangedPartAloneGivesTheWholePicture) {
    scene->movePointer(639, 479);
    scene->fillRoot(0x203040);
    const xcb_window_t tile = scene->window({100, 120, 90, 70}, 0x000000);
    const xcb_window_t hidden =
        scene->window({400, 300, 100, 100}, 0xFFFFFF, test::wmClassOf("com.lumaret.card"));
    start(480, 360);  // scaled: each output pixel averages parts of several screen pixels
    ASSERT_TRUE(collector.nextComplete(0));
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"a tile changes colour", [&] { scene->fill(tile, 0xE0C020); }},
        {"the pointer moves", [&] { scene->movePointer(300, 200); }},
        {"a hidden window is drawn on", [&] { scene->fill(hidden, 0x00FF00); }},
        {"the tile changes under the pointer",
         [&] {
             scene->movePointer(130, 150);
             scene->fill(tile, 0x8010F0);
         }},
    };
    for (const Step& step : steps) {
        const std::size_t seen = collector.count();
        step.change();
        const auto changed = collector.nextComplete(seen);
        ASSERT_TRUE(changed) << step.what;
        // Let the change settle: the frame after which nothing more changed.
        std::this_thread::sleep_for(500ms);
        const auto frames = collector.frames();
        Frame latest = *changed;
        for (const Frame& f : frames)
            if (f.status == FrameStatus::Complete) latest = f;

        Collector fresh;
        XcbScreenSource whole;
        const auto content = whole.content();
        const auto display = chooseDisplay(std::get<ShareableContent>(content));
        ASSERT_FALSE(whole.start({*display, 480, 360, 0.2, true, isHiddenApplication}, fresh));
        const auto reference = fresh.nextComplete(0);
        ASSERT_TRUE(reference) << step.what;
        EXPECT_TRUE(samePicture(*latest.picture, *reference->picture)) << step.what;
        EXPECT_EQ(latest.thumbnail, reference->thumbnail) << step.what;
        whole.stop([] {});
    }
    std::shared_ptr<const Picture> before;
    int partial = 0;
    for (const Frame& f : collector.frames()) {
        if (f.status != FrameStatus::Complete) continue;
        if (before) {
            EXPECT_EQ(changedOutside(*before, *f.picture, f.change), 0) << "at " << f.pts;
            if (!f.change.whole) ++partial;
        }
        before = f.picture;
    }
    EXPECT_GE(partial, 4) << "every step changed a part only";
}

// The change test's thumbnail comes from the captured colours, not from the video's Y'CbCr:
// pure blue is grey level 85 exactly.
TEST_F(XcbScreenSourceTest, FramesCarryTheThumbnailOfTheCapturedColours) {
    scene->movePointer(639, 479);
    scene->fillRoot(0x0000FF);
    start(320, 240);
    const auto frame = collector.nextComplete(0);
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->thumbnail.size(), static_cast<std::size_t>(THUMB_PIXELS));
    EXPECT_EQ(frame->thumbnail[0], 85);
    EXPECT_EQ(frame->thumbnail[THUMB_PIXELS / 2], 85);
}

TEST_F(XcbScreenSourceTest, AFullReceiverKeepsTheChangeForItsNextFrame) {
    scene->movePointer(639, 479);
    scene->fillRoot(0x000000);
    start();
    ASSERT_TRUE(collector.nextComplete(0));
    collector.accept(false);
    std::this_thread::sleep_for(300ms);
    const std::size_t seen = collector.count();
    scene->fillRoot(0xFFFFFF);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(collector.count(), seen) << "nothing is delivered while the receiver is full";
    collector.accept(true);
    const auto next = collector.next(seen, [](const Frame&) { return true; });
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, FrameStatus::Complete);
    EXPECT_NEAR(lumaAt(*next->picture, 100, 100), lumaOf(255), 2);
}

TEST_F(XcbScreenSourceTest, StopConfirmsAndNoFrameFollows) {
    start();
    ASSERT_TRUE(collector.nextComplete(0));
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    source.stop([&] {
        std::lock_guard lock(m);
        done = true;
        cv.notify_all();
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return done; }));
    }
    const std::size_t seen = collector.count();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(collector.count(), seen);
}

TEST_F(XcbScreenSourceTest, AServerThatGoesAwayEndsTheCaptureWithAReason) {
    start();
    ASSERT_TRUE(collector.nextComplete(0));
    scene.reset();
    xvfb.reset();
    EXPECT_EQ(collector.waitForError(), "Lost the connection to the X server");
}

// A screen of 10 bits per colour (depth 30) is converted, not read as 8-bit BGRx.
TEST(XcbScreenSourceDeep, TenBitColoursAreConverted) {
    qv::test::Xvfb xvfb(640, 480, 30);
    ASSERT_TRUE(xvfb.running());
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    test::XScene scene(xvfb.display());
    scene.movePointer(639, 479);
    // Red 1023, green 514, blue 0 of 1023: 255, 128, 0 in 8 bits.
    scene.fillRoot((1023u << 20) | (514u << 10));
    Collector collector;
    XcbScreenSource source;
    const auto content = source.content();
    ASSERT_TRUE(std::holds_alternative<ShareableContent>(content));
    const auto display = chooseDisplay(std::get<ShareableContent>(content));
    ASSERT_TRUE(display);
    const auto failure =
        source.start({*display, 320, 240, 0.2, true, isHiddenApplication}, collector);
    ASSERT_FALSE(failure) << failure->description;
    const auto frame = collector.nextComplete(0);
    ASSERT_TRUE(frame);
    const Picture& p = *frame->picture;
    EXPECT_NEAR(p.plane(0)[100 * p.stride(0) + 100], 146, 2);  // Y' of 255, 128, 0
    EXPECT_NEAR(p.plane(1)[50 * p.stride(1) + 50], 54, 2);
    EXPECT_NEAR(p.plane(2)[50 * p.stride(2) + 50], 193, 2);
    EXPECT_EQ(frame->thumbnail[0], (255 + 128 + 0) / 3);
}

TEST(XcbScreenSource, AnUnreachableDisplayIsNamedInTheFailure) {
    setenv("DISPLAY", ":4711", 1);
    XcbScreenSource source;
    const auto content = source.content();
    ASSERT_TRUE(std::holds_alternative<Failure>(content));
    EXPECT_EQ(std::get<Failure>(content).description,
              "Cannot open display \":4711\": cannot connect to the X server");
}

}  // namespace
}  // namespace hc

namespace hc {
namespace {

// Servers without one of the extensions the source prefers still give a correct picture:
// no MIT-SHM (remote or containerised servers), no Damage (every frame counts as complete),
// no RandR (the screen is the one display), no XFixes (no cursor).
TEST(XcbScreenSourceWithout, EachOptionalExtension) {
    for (const char* extension : {"MIT-SHM", "DAMAGE", "RANDR", "XFIXES"}) {
        qv::test::Xvfb xvfb(640, 480, 24, {"-extension", extension});
        ASSERT_TRUE(xvfb.running()) << extension;
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        test::XScene scene(xvfb.display());
        scene.movePointer(639, 479);
        scene.fillRoot(0xFFFFFF);
        Collector collector;
        XcbScreenSource source;
        const auto content = source.content();
        ASSERT_TRUE(std::holds_alternative<ShareableContent>(content)) << extension;
        const auto display = chooseDisplay(std::get<ShareableContent>(content));
        ASSERT_TRUE(display) << extension;
        EXPECT_EQ(display->width, 640) << extension;
        EXPECT_EQ(display->height, 480) << extension;
        const CaptureConfig config{*display, 320, 240, 0.2, true, isHiddenApplication};
        ASSERT_FALSE(source.start(config, collector)) << extension;
        const auto frame = collector.nextComplete(0);
        ASSERT_TRUE(frame) << extension;
        EXPECT_NEAR(lumaAt(*frame->picture, 100, 100), lumaOf(255), 2) << extension;
        if (std::string(extension) == "DAMAGE") {
            EXPECT_TRUE(collector.nextComplete(1)) << "without Damage every frame is complete";
        }
    }
}

}  // namespace
}  // namespace hc

namespace hc {
namespace {

// On a server that follows RandR (Xtigervnc), the capture follows the main display: a new
// screen size, a monitor made primary. The frame size stays; the display is scaled into it.
class XcbScreenSourceRandr : public testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = test::VncServer::missingTools(); !missing.empty())
            GTEST_SKIP() << missing;
        vnc = std::make_unique<test::VncServer>(1920, 1080);
        ASSERT_TRUE(vnc->running());
        setenv("DISPLAY", vnc->display().c_str(), 1);
        scene = std::make_unique<XScene>(vnc->display());
        ASSERT_TRUE(scene->connected());
        scene->movePointer(1919, 1079);
    }
    void start() {
        const auto content = source.content();
        ASSERT_TRUE(std::holds_alternative<ShareableContent>(content));
        const auto display = chooseDisplay(std::get<ShareableContent>(content));
        ASSERT_TRUE(display);
        ASSERT_EQ(display->width, 1920);
        const auto failure =
            source.start({*display, 1600, 900, 0.2, true, isHiddenApplication}, collector);
        ASSERT_FALSE(failure) << failure->description;
        ASSERT_TRUE(collector.nextComplete(0));
    }

    std::unique_ptr<test::VncServer> vnc;
    std::unique_ptr<XScene> scene;
    Collector collector;
    XcbScreenSource source;
};

TEST_F(XcbScreenSourceRandr, ANewScreenSizeIsFollowedAndScaledIntoTheFrame) {
    scene->fillRoot(0x000000);
    start();
    ASSERT_TRUE(vnc->xrandr("-s 1280x720"));
    const auto change = collector.waitForChange();
    ASSERT_TRUE(change);
    EXPECT_EQ(*change,
              "screen changed: recording the main display at 1280x720+0+0 (was 1920x1080+0+0), "
              "scaled into the video's 1600x900");
    const std::size_t seen = collector.count();
    scene->fillRoot(0xFFFFFF);
    const auto after = collector.next(seen, [](const Frame& f) {
        return f.status == FrameStatus::Complete &&
               std::abs(lumaAt(*f.picture, 1500, 800) - lumaOf(255)) <= 2;
    });
    ASSERT_TRUE(after) << "frames go on after the change, the same shape filling the frame";
    EXPECT_EQ(after->picture->width(), 1600);
    EXPECT_EQ(after->picture->height(), 900);
    EXPECT_EQ(collector.changes().size(), 1u) << "said once";
}

TEST_F(XcbScreenSourceRandr, AMonitorMadePrimaryIsFollowedAndTheRestIsBlack) {
    scene->fillRoot(0x000000);
    scene->window({0, 0, 960, 1080}, 0xFFFFFF);
    start();
    ASSERT_TRUE(vnc->xrandr("--setmonitor '*left' 960/254x1080/286+0+0 none"));
    const auto change = collector.waitForChange();
    ASSERT_TRUE(change);
    EXPECT_NE(change->find("960x1080+0+0"), std::string::npos) << *change;
    const std::size_t seen = collector.count();
    const auto after =
        collector.next(seen, [](const Frame& f) { return f.status == FrameStatus::Complete; });
    ASSERT_TRUE(after);
    // The white left half now fills the middle of the frame (800 × 900 at x 400), black bars
    // beside it.
    EXPECT_NEAR(lumaAt(*after->picture, 800, 450), lumaOf(255), 2);
    EXPECT_NEAR(lumaAt(*after->picture, 100, 450), lumaOf(0), 2);
    EXPECT_NEAR(lumaAt(*after->picture, 1500, 450), lumaOf(0), 2);

    // The primary monitor gone: back to the first one, the whole screen.
    ASSERT_TRUE(vnc->xrandr("--delmonitor left"));
    const auto back = collector.next(seen, [](const Frame& f) {
        return f.status == FrameStatus::Complete &&
               std::abs(lumaAt(*f.picture, 1500, 450) - lumaOf(0)) <= 2 &&
               std::abs(lumaAt(*f.picture, 100, 450) - lumaOf(255)) <= 2;
    });
    EXPECT_TRUE(back) << "the whole screen again: white on the left, black on the right";
    EXPECT_EQ(collector.changes().size(), 2u);
}

}  // namespace
}  // namespace hc
