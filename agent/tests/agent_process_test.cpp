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

TEST(AgentProcess, HelpVersionAndBadArgumentsEndAtOnceWithTheirStatus) {
    struct Case {
        QStringList args;
        bool display;  // a (virtual) display is named
        int status;
        QString out;
        QString errContains;
    };
    const Case cases[] = {
        // Without any display, as in a terminal on a server.
        {{"--help"}, false, 0, "Usage: quorvia [--help | --version]\n", {}},
        {{"--version"}, false, 0, "quorvia " QV_VERSION "\n", {}},
        {{}, false, 1, {}, "quorvia: no graphical session"},
        {{"--bogus"}, true, 2, {}, "quorvia: unknown option '--bogus'\n"},
        {{"record"}, true, 2, {}, "quorvia: unexpected argument 'record'\n"},
    };
    for (const Case& c : cases) {
        AgentWorld world;
        QProcessEnvironment env = world.environment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        if (c.display) env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess agent;
        agent.setProcessEnvironment(env);
        agent.start(QV_AGENT, c.args);
        const std::string form = c.args.join(' ').toStdString();
        ASSERT_TRUE(agent.waitForFinished(30000)) << form;
        EXPECT_EQ(agent.exitStatus(), QProcess::NormalExit) << form;
        EXPECT_EQ(agent.exitCode(), c.status) << form;
        const QString out = QString::fromLocal8Bit(agent.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(agent.readAllStandardError());
        if (c.out.isEmpty())
            EXPECT_EQ(out, "") << form;
        else
            EXPECT_TRUE(out.startsWith(c.out)) << form << ": " << out.toStdString();
        if (c.errContains.isEmpty())
            EXPECT_EQ(err, "") << form;
        else
            EXPECT_TRUE(err.contains(c.errContains)) << form << ": " << err.toStdString();
        // Nothing was started: no instance socket, no backend, no page.
        EXPECT_FALSE(listening(world)) << form;
        EXPECT_TRUE(world.opened().isEmpty()) << form;
    }
}

}  // namespace
