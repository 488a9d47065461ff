// The serial sample queue: order, the frame limit, and waiting for a task.
#include <gtest/gtest.h>

#include <vector>

#include "recorder_fakes.h"
#include "sample_queue.h"

namespace hc {
namespace {

TEST(SampleQueue, RunsTasksInOrderAndRunSyncWaitsForThoseBefore) {
    SampleQueue q(6);
    std::vector<int> order;  // touched on the worker only until runSync returns
    for (int i = 0; i < 3; ++i) q.postFrame([&order, i] { order.push_back(i); });
    q.post([&order] { order.push_back(3); });
    q.runSync([&order] { order.push_back(4); });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(SampleQueue, DropsFramesWhenSixWaitButNeverOtherTasks) {
    SampleQueue q(6);
    test::Gate started, release;
    q.post([&] {
        started.open();
        release.pass();
    });
    started.pass();
    int ran = 0;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(q.postFrame([&ran] { ++ran; }));
    EXPECT_TRUE(q.full());
    EXPECT_FALSE(q.postFrame([&ran] { ran += 100; }));
    q.post([&ran] { ran += 1000; });
    release.open();
    q.runSync([] {});
    EXPECT_EQ(ran, 1006);
    EXPECT_FALSE(q.full());
}

}  // namespace
}  // namespace hc
