// Telling a capture that shows nothing but black, and passing frames through while watching.
#include <gtest/gtest.h>

#include "black_frames.h"
#include "recorder_fakes.h"

namespace hc {
namespace {

std::shared_ptr<Picture> blackPicture() {
    auto p = std::make_shared<Picture>(8, 6);
    p->fill(16, 128, 128);
    return p;
}

TEST(IsBlack, OnlyWhenAllButWhatAPointerCoversIsBlack) {
    EXPECT_TRUE(isBlack(*blackPicture()));
    struct Case {
        const char* name;
        int width, height;
        int plane;
        std::size_t from, count;  // samples set to `value`
        std::uint8_t value;
        bool black;
    };
    const Case cases[] = {
        {"darker than black", 8, 6, 0, 0, 48, 10, true},
        {"a tiny picture allows nothing: last pixel", 8, 6, 0, 47, 1, 17, false},
        {"a tiny picture allows nothing: a tint", 8, 6, 1, 3, 1, 129, false},
        {"a pointer of 1 % of the pixels", 200, 100, 0, 0, 200, 235, true},
        {"one pixel more than 1 %", 200, 100, 0, 0, 201, 235, false},
        {"a pointer's colour", 200, 100, 2, 100, 50, 90, true},
        {"colour beyond the pointer", 200, 100, 2, 100, 51, 90, false},
        {"a big picture allows at most 64 x 64", 1600, 900, 0, 5000, 4096, 200, true},
        {"a window on a big picture", 1600, 900, 0, 5000, 4097, 200, false},
    };
    for (const Case& c : cases) {
        Picture p(c.width, c.height);
        p.fill(16, 128, 128);
        std::fill_n(p.plane(c.plane) + c.from, c.count, c.value);
        EXPECT_EQ(isBlack(p), c.black) << c.name;
    }
}

struct Step {
    FrameStatus status;
    double pts;
    bool black = true;
};

// The index of the frame at which the warning comes, or -1.
int warnedAt(const std::vector<Step>& steps) {
    BlackStart watch;
    int at = -1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        Frame f{steps[i].status, steps[i].pts, nullptr};
        if (steps[i].status == FrameStatus::Complete) {
            auto p = blackPicture();
            if (!steps[i].black) p->fill(120, 100, 150);
            f.picture = p;
        }
        if (watch.allBlackSoFar(f)) {
            EXPECT_EQ(at, -1) << "said twice";
            at = static_cast<int>(i);
        }
    }
    return at;
}

TEST(BlackStart, WarnsOnceWhenTheFirstSecondsWereAllBlack) {
    constexpr auto C = FrameStatus::Complete;
    constexpr auto I = FrameStatus::Idle;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int expected;
    };
    const Case cases[] = {
        {"black frames for three seconds", {{C, 10.0}, {C, 11.0}, {C, 12.0}, {C, 13.0}}, 3},
        {"one black frame, then idle ones",
         {{C, 10.0}, {I, 11.0}, {I, 12.9}, {I, 13.1}, {I, 14}},
         3},
        {"a picture within the first seconds",
         {{C, 10.0}, {C, 11.5, false}, {C, 13.0}, {C, 20.0}},
         -1},
        {"a picture first", {{C, 10.0, false}, {C, 13.0}, {C, 16.0}}, -1},
        {"a picture only after the first seconds", {{C, 10.0}, {C, 12.9}, {C, 13.0, false}}, 2},
        {"idle frames before the first picture do not count",
         {{I, 0.0}, {I, 5.0}, {C, 6.0}, {I, 8.0}},
         -1},
        {"stopped before the seconds were up", {{C, 10.0}, {C, 12.8}}, -1},
        {"nothing but black for long: said once", {{C, 0}, {C, 3}, {C, 6}, {C, 9}}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(warnedAt(c.steps), c.expected) << c.name;
}

class Collector final : public FrameReceiver {
  public:
    bool wants = true;
    std::vector<Frame> frames;
    std::vector<std::string> stops;
    bool wantsFrame() override { return wants; }
    void receive(Frame f) override { frames.push_back(std::move(f)); }
    void stopped(const std::string& e) override { stops.push_back(e); }
    void displayChanged(const std::string& d) override { changes.push_back(d); }
    std::vector<std::string> changes;
};

TEST(WatchForBlack, PassesEverythingThroughAndWarnsOnTheWay) {
    auto fake = std::make_unique<test::FakeScreenSource>();
    test::FakeScreenSource& inner = *fake;
    std::vector<std::string> warnings;
    auto source =
        watchForBlack(std::move(fake), [&](std::string_view w) { warnings.emplace_back(w); });
    ASSERT_TRUE(std::holds_alternative<ShareableContent>(source->content()));
    Collector collector;
    CaptureConfig config;
    config.width = 640;
    ASSERT_EQ(source->start(config, collector), std::nullopt);
    EXPECT_EQ(inner.config->width, 640);

    EXPECT_TRUE(inner.deliver({FrameStatus::Complete, 1.0, blackPicture()}));
    EXPECT_TRUE(inner.deliver({FrameStatus::Idle, 4.5, nullptr}));
    collector.wants = false;
    EXPECT_FALSE(inner.deliver({FrameStatus::Idle, 5.0, nullptr}));
    inner.receiver->stopped("gone");
    int stops = 0;
    source->stop([&] { ++stops; });

    ASSERT_EQ(collector.frames.size(), 2u);
    EXPECT_EQ(collector.frames[0].status, FrameStatus::Complete);
    EXPECT_EQ(collector.frames[1].pts, 4.5);
    EXPECT_EQ(collector.stops, (std::vector<std::string>{"gone"}));
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(inner.stops, 1);
    EXPECT_EQ(warnings, (std::vector<std::string>{std::string(BLACK_START)}));
}

TEST(WatchForBlack, AStartFailureComesThroughUnchanged) {
    auto fake = std::make_unique<test::FakeScreenSource>();
    fake->startAnswer = Failure{"Screen sharing was declined"};
    auto source = watchForBlack(std::move(fake), [](std::string_view) {});
    Collector collector;
    const auto failure = source->start({}, collector);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description, "Screen sharing was declined");
}

}  // namespace
}  // namespace hc
