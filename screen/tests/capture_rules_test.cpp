// Which display is recorded, at which size, which frames count and when the change test runs.
#include <gtest/gtest.h>

#include "capture_rules.h"

namespace hc {
namespace {

struct SizeCase {
    int w, h;
    FrameSize expected;
};

TEST(FrameSize, ScalesDownToAtMost1600WideWithEvenSides) {
    const SizeCase cases[] = {
        {1728, 1117, {1600, 1034}}, {1365, 767, {1364, 766}},   {2560, 1440, {1600, 900}},
        {1440, 900, {1440, 900}},   {1600, 1001, {1600, 1000}}, {3840, 2160, {1600, 900}},
        {1601, 901, {1600, 900}},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(frameSize(c.w, c.h), c.expected) << c.w << "x" << c.h;
    }
}

TEST(ChooseDisplay, TakesTheMainDisplayElseTheFirst) {
    const Display a{10, 1920, 1080}, b{20, 2560, 1440};
    struct Case {
        const char* name;
        ShareableContent content;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"main listed second", {{a, b}, 20}, 20},  {"main listed first", {{a, b}, 10}, 10},
        {"main not among them", {{a, b}, 99}, 10}, {"no main known", {{b, a}, std::nullopt}, 20},
        {"no display", {{}, 10}, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Display> chosen = chooseDisplay(c.content);
        ASSERT_EQ(chosen.has_value(), c.expected.has_value()) << c.name;
        if (chosen) {
            EXPECT_EQ(chosen->id, *c.expected) << c.name;
        }
    }
}

TEST(HiddenApplications, OnlyIdentifiersUnderTheMakersPrefix) {
    const std::pair<const char*, bool> cases[] = {
        {"com.lumaret.quorvia", true},
        {"com.lumaret.", true},
        {"com.lumaret", false},
        {"com.lumaretx.app", false},
        {"Com.Lumaret.quorvia", false},
        {"org.com.lumaret.x", false},
        {"", false},
    };
    for (const auto& [id, hidden] : cases) EXPECT_EQ(isHiddenApplication(id), hidden) << id;
}

TEST(Frames, OnlyCompleteFramesWithAPictureCount) {
    const auto picture = std::make_shared<Picture>(2, 2);
    EXPECT_TRUE(counts({FrameStatus::Complete, 1.0, picture}));
    EXPECT_FALSE(counts({FrameStatus::Idle, 1.0, picture}));
    EXPECT_FALSE(counts({FrameStatus::Idle, 1.0, nullptr}));
    EXPECT_FALSE(counts({FrameStatus::Complete, 1.0, nullptr}));
}

TEST(CheckSchedule, TestsAtTheFirstFrameThenEveryTwoSecondsOfVideo) {
    const std::vector<std::pair<double, bool>> frames = {
        {0.0, true}, {1.0, false}, {1.9, false}, {2.0, true},   {3.5, false},
        {4.1, true}, {6.0, false}, {6.1, true},  {100.0, true},
    };
    CheckSchedule schedule;
    for (const auto& [t, due] : frames) EXPECT_EQ(schedule.due(t), due) << "t = " << t;
}

}  // namespace
}  // namespace hc
