// The real agent as a user starts it: one per user, reopen through the running one, and a
// clean end on a termination signal.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <csignal>

#include "main/constants.h"
#include "support/agent_process.h"
#include "support/port_lock.h"

using namespace qv::test;

namespace {

bool listening(const AgentWorld& world) {
    return QFileInfo::exists(world.path("runtime/quorvia.sock"));
}

TEST(AgentProcess, SecondStartOpensTheHomePageThroughTheRunningAgentAndExits) {
    PortLock port;
    AgentWorld world;
    AgentProcess first(world);
    ASSERT_TRUE(first.process.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return listening(world); }, 10000));

    AgentProcess second(world);
    ASSERT_TRUE(second.process.waitForFinished(10000));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return world.opened().contains(qv::WEB + "/"); }, 5000));
    EXPECT_EQ(world.opened().count(qv::WEB + "/"), 1);
    EXPECT_EQ(first.process.state(), QProcess::Running);
}

TEST(AgentProcess, TerminationSignalsEndTheAgentThroughItsQuitPath) {
    for (int sig : {SIGTERM, SIGINT}) {
        PortLock port;
        AgentWorld world;
        AgentProcess agent(world);
        ASSERT_TRUE(waitFor([&] { return listening(world); }, 10000));
        ::kill(agent.process.processId(), sig);
        ASSERT_TRUE(agent.process.waitForFinished(30000)) << sig;
        // A normal exit, not death by the signal: the termination path ran.
        EXPECT_EQ(agent.process.exitStatus(), QProcess::NormalExit) << sig;
        EXPECT_EQ(agent.process.exitCode(), 0) << sig;
    }
}

}  // namespace
