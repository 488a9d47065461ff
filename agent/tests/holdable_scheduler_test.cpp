// Timers an owner holds while a modal question is open: nothing fires while held, a timer that
// fell due meanwhile fires once at the release, and a repeating one keeps its period from there.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ports/holdable_scheduler.h"
#include "support/fake_clock.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr double kT0 = 1'000'000.0;

TEST(HoldableScheduler, HeldTimersFireOnlyAfterTheReleaseAndOnceForAllThatWasMissed) {
    struct Case {
        const char* name;
        bool repeat;
        double seconds;
        double holdAt, releaseAt;   // seconds from the start; hold < 0: never held
        std::vector<double> fires;  // seconds from the start, up to 20 s
    };
    const Case cases[] = {
        {"repeating, never held", true, 2, -1, -1, {2, 4, 6, 8, 10, 12, 14, 16, 18, 20}},
        {"repeating, held over three periods",
         true,
         2,
         3,
         9.5,
         {2, 9.5, 11.5, 13.5, 15.5, 17.5, 19.5}},
        {"repeating, released before it fell due",
         true,
         2,
         2.5,
         3.5,
         {2, 4, 6, 8, 10, 12, 14, 16, 18, 20}},
        {"repeating, held just before it fell due", true, 5, 5, 7, {7, 12, 17}},
        {"once, held past its time", false, 4, 1, 11, {11}},
        {"once, released before its time", false, 4, 1, 2, {4}},
        {"once, fired before the hold", false, 4, 6, 8, {4}},
    };
    for (const Case& c : cases) {
        FakeClock clock(kT0);
        HoldableScheduler timers(clock, clock);
        std::vector<double> fires;
        const auto note = [&] { fires.push_back(clock.now() - kT0); };
        auto handle = c.repeat ? timers.every(c.seconds, note) : timers.after(c.seconds, note);
        if (c.holdAt >= 0) {
            clock.advance(c.holdAt - 1e-6);
            timers.hold();
            clock.advance(c.releaseAt - c.holdAt + 1e-6);
            timers.release();
        }
        clock.advance(20 - (clock.now() - kT0));
        ASSERT_EQ(fires.size(), c.fires.size()) << c.name;
        for (size_t i = 0; i < fires.size(); ++i) EXPECT_NEAR(fires[i], c.fires[i], 1e-6) << c.name;
    }
}

TEST(HoldableScheduler, TimersMadeWhileHeldWaitForTheRelease) {
    FakeClock clock(kT0);
    HoldableScheduler timers(clock, clock);
    timers.hold();
    int repeats = 0, once = 0;
    auto r = timers.every(1, [&] { ++repeats; });
    auto o = timers.after(1, [&] { ++once; });
    clock.advance(5);
    EXPECT_EQ(repeats + once, 0);
    timers.release();
    clock.advance(0);
    EXPECT_EQ(repeats, 1);
    EXPECT_EQ(once, 1);
    clock.advance(3);
    EXPECT_EQ(repeats, 4);
    EXPECT_EQ(once, 1);
}

TEST(HoldableScheduler, AHandleThatGoesEndsItsTimerWhetherHeldOrNot) {
    FakeClock clock(kT0);
    HoldableScheduler timers(clock, clock);
    int dropped = 0, droppedWhileHeld = 0, selfDropping = 0;
    auto a = timers.every(1, [&] { ++dropped; });
    auto b = timers.every(1, [&] { ++droppedWhileHeld; });
    std::unique_ptr<Timer> c;
    c = timers.every(1, [&] {
        ++selfDropping;
        c.reset();  // from within its own callback
    });
    clock.advance(1);
    a.reset();
    timers.hold();
    b.reset();
    clock.advance(3);
    timers.release();
    clock.advance(5);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(droppedWhileHeld, 1);
    EXPECT_EQ(selfDropping, 1);
    EXPECT_EQ(clock.pendingTimers(), 0u);
}

TEST(HoldableScheduler, ReleasingWhatIsNotHeldAndHoldingTwiceChangeNothing) {
    FakeClock clock(kT0);
    HoldableScheduler timers(clock, clock);
    int ticks = 0;
    auto t = timers.every(2, [&] { ++ticks; });
    timers.release();
    clock.advance(4);
    EXPECT_EQ(ticks, 2);
    timers.hold();
    timers.hold();
    EXPECT_TRUE(timers.held());
    clock.advance(4);
    EXPECT_EQ(ticks, 2);
    timers.release();
    EXPECT_FALSE(timers.held());
    clock.advance(0);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(clock.pendingTimers(), 1u);
}

}  // namespace
