// Ending an owner's work: callbacks wrapped by its lifetime, and timers that end with their
// handles, on Qt's event loop.
#include <gtest/gtest.h>

#include <QJsonObject>
#include <functional>
#include <memory>

#include "platform/qt_event_loop.h"
#include "ports/lifetime.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST(Lifetime, GuardedCallbacksRunWithTheirArgumentsUntilTheLifetimeEnds) {
    struct Case {
        const char* name;
        std::function<void(std::unique_ptr<Lifetime>&)> before;  // what happens to the owner
        bool runs;
    };
    const Case cases[] = {
        {"alive", [](std::unique_ptr<Lifetime>&) {}, true},
        {"ended", [](std::unique_ptr<Lifetime>& l) { l->end(); }, false},
        {"gone", [](std::unique_ptr<Lifetime>& l) { l.reset(); }, false},
    };
    for (const Case& c : cases) {
        auto life = std::make_unique<Lifetime>();
        std::vector<int> seen;
        const std::function<void(int, const QJsonObject&)> done =
            life->guard([&](int status, const QJsonObject& reply) {
                seen = {status, reply.value("n").toInt()};
            });
        c.before(life);
        done(200, {{"n", 7}});
        EXPECT_EQ(seen, c.runs ? std::vector<int>({200, 7}) : std::vector<int>{}) << c.name;
    }
}

TEST(QtScheduler, ARepeatingTimerRunsUntilItsHandleGoes) {
    QtScheduler scheduler;
    int ticks = 0;
    auto timer = scheduler.every(0.01, [&] { ++ticks; });
    ASSERT_TRUE(waitFor([&] { return ticks >= 3; }, 10000));
    timer.reset();
    const int atStop = ticks;
    spin(100);
    EXPECT_EQ(ticks, atStop);
}

TEST(QtScheduler, ASingleShotRunsOnceAndNotAtAllOnceItsHandleHasGone) {
    QtScheduler scheduler;
    int kept = 0, dropped = 0;
    auto keep = scheduler.after(0.01, [&] { ++kept; });
    auto drop = scheduler.after(0.01, [&] { ++dropped; });
    drop.reset();
    ASSERT_TRUE(waitFor([&] { return kept == 1; }, 10000));
    spin(100);
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(dropped, 0);
}

}  // namespace
