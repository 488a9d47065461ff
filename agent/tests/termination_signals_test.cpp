// Termination signals as the agent receives them: one that arrives while the agent is still
// starting waits for the quit path instead of killing the process.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/termination_signals.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST(TerminationSignals, ASignalHeldBackDuringStartUpArrivesAsATerminationRequest) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        holdTerminationSignals();
        ASSERT_EQ(::raise(sig), 0);  // pending: the process lives on
        TerminationSignals termination;
        int requests = 0;
        QObject::connect(&termination, &TerminationSignals::terminationRequested,
                         [&] { ++requests; });
        EXPECT_TRUE(waitFor([&] { return requests == 1; }, 10000)) << sig;
        // Once the handlers are in place, a later signal arrives the same way.
        ASSERT_EQ(::raise(sig), 0);
        EXPECT_TRUE(waitFor([&] { return requests == 2; }, 10000)) << sig;
    }
}

}  // namespace
