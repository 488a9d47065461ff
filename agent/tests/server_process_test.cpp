// The backend and model-server lifecycle with real children and a probe the test answers, so
// nothing here needs the backend's port.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <mutex>
#include <thread>

#include "fake_bundle.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

// Answers probes by URL and records them; thread-safe (start() probes from its thread).
class Probes {
  public:
    Server::Probe probe() {
        return [this](const QString& url) {
            std::lock_guard lock(mutex_);
            urls_ << url;
            return url.contains(":11434") ? modelServerAnswers.load() : backendAnswers.load();
        };
    }
    QStringList urls() {
        std::lock_guard lock(mutex_);
        return urls_;
    }
    std::atomic<bool> backendAnswers{false};
    std::atomic<bool> modelServerAnswers{false};

  private:
    std::mutex mutex_;
    QStringList urls_;
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const ServerTimings kQuick{1.0, 0.05, 3, 0.1};

TEST(ServerModelServer, AbsentMeansNothingLaunchedAndNothingProbed) {
    FakeBundle bundle;
    Probes probes;
    probes.backendAnswers = true;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    EXPECT_EQ(server.ollama(), nullptr);
    EXPECT_EQ(probes.urls(), QStringList{"http://127.0.0.1:8765/api/status"});
}

TEST(ServerModelServer, OneAlreadyAnsweringIsNeitherLaunchedNorStopped) {
    FakeBundle bundle;
    bundle.ollama();
    Probes probes;
    probes.backendAnswers = true;
    probes.modelServerAnswers = true;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    server.stop();
    EXPECT_EQ(server.ollama(), nullptr);
    EXPECT_TRUE(probes.urls().contains("http://127.0.0.1:11434/api/version"));
    EXPECT_FALSE(QFile::exists(bundle.data() + "/ollama.txt"));
}

TEST(ServerModelServer, LaunchedWithServeAndItsAddressThenOnlyTerminatedAtExit) {
    FakeBundle bundle;
    bundle.ollama();
    Probes probes;
    probes.backendAnswers = true;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    auto model = server.ollama();
    ASSERT_NE(model, nullptr);
    // The stand-in creates its file before it writes its line: wait for the whole line.
    ASSERT_TRUE(waitFor([&] { return readFile(bundle.data() + "/ollama.txt").endsWith("\n"); }));
    EXPECT_EQ(readFile(bundle.data() + "/ollama.txt"), "serve 127.0.0.1:11434 /dev/null\n");

    server.stopServer();  // the backend's stop leaves the model server alone
    EXPECT_TRUE(model->running());
    server.stop();
    EXPECT_TRUE(waitFor([&] { return !model->running(); }));
    EXPECT_EQ(model->endedBySignal(), 0);  // it exited on its own SIGTERM handler
    EXPECT_TRUE(readFile(bundle.data() + "/ollama.txt").endsWith("terminated\n"));
    EXPECT_EQ(server.ollama(), model);  // never emptied
}

TEST(ServerModelServer, OneThisAgentLaunchedIsLaunchedAgainOnlyOnceItHasEnded) {
    FakeBundle bundle;
    bundle.ollama();
    Probes probes;
    probes.backendAnswers = true;  // the model server never answers its probe
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    const auto first = server.ollama();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(first->running());

    // A restart while it still runs (not answering yet, say) keeps it: the one stop() ends is
    // the only one there is.
    server.restartServer();
    EXPECT_EQ(server.ollama(), first);
    server.stop();
    EXPECT_TRUE(waitFor([&] { return !first->running(); }));

    // Once it has ended, the next start launches another.
    Server again(bundle.locations(), bundle.services(probes.probe()), kQuick);
    again.start();
    const auto dead = again.ollama();
    ASSERT_NE(dead, nullptr);
    dead->kill();
    ASSERT_TRUE(waitFor([&] { return !dead->running(); }));
    again.restartServer();
    ASSERT_NE(again.ollama(), nullptr);
    EXPECT_NE(again.ollama(), dead);
    EXPECT_TRUE(again.ollama()->running());
    again.stop();
    EXPECT_TRUE(waitFor([&] { return !again.ollama()->running(); }));
}

TEST(ServerLaunch, ABackendThatNeverAnswersIsWaitedForTheGivenRounds) {
    FakeBundle bundle;
    bundle.backend({.serves = false});
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    // One probe to look, then the readiness rounds; the process is not looked at meanwhile.
    EXPECT_EQ(probes.urls().size(), 1 + kQuick.readyRounds);
    ASSERT_NE(server.proc(), nullptr);
    EXPECT_TRUE(server.proc()->running());
    server.stopServer();
}

TEST(ServerLaunch, AFailedLaunchIsStillRecordedAndWaitedFor) {
    FakeBundle bundle;  // no interpreter in the bundle
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    ASSERT_NE(server.proc(), nullptr);
    EXPECT_FALSE(server.proc()->running());
    EXPECT_EQ(probes.urls().size(), 1 + kQuick.readyRounds);
    server.stopServer();
    EXPECT_EQ(server.proc(), nullptr);
}

TEST(ServerStop, IgnoredTermIsFollowedByKillAfterTheGracePeriod) {
    FakeBundle bundle;
    bundle.backend({.serves = false, .ignoresTerm = true});
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), {1.0, 0.2, 1, 0.0});
    server.start();
    auto backend = server.proc();
    ASSERT_TRUE(backend && backend->running());
    // Its first line of output comes after its trap is set.
    ASSERT_TRUE(
        waitFor([&] { return readFile(bundle.data() + "/server.log").contains("launched"); }));
    QElapsedTimer timer;
    timer.start();
    server.stopServer();
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(backend->running());
    EXPECT_EQ(backend->endedBySignal(), SIGKILL);
    EXPECT_EQ(server.proc(), nullptr);
}

TEST(ServerStop, ABackendThatEndsAtOnceIsNotWaitedForLong) {
    FakeBundle bundle;
    bundle.backend({.serves = false});
    Probes probes;
    // The real 20 s grace period; one readiness round, as readiness is not what this is about.
    Server server(bundle.locations(), bundle.services(probes.probe()), {20.0, 0.2, 1, 0.0});
    server.start();
    auto backend = server.proc();
    ASSERT_TRUE(backend && backend->running());
    QElapsedTimer timer;
    timer.start();
    server.stopServer();
    EXPECT_LT(timer.elapsed(), 1200 + 1000);  // polled every 0.2 s; slack for a loaded machine
    EXPECT_EQ(backend->endedBySignal(), SIGTERM);
}

TEST(ServerStop, StopServerForgetsTheBackendStopKeepsIt) {
    FakeBundle bundle;
    bundle.backend({.serves = false});
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.start();
    auto backend = server.proc();
    ASSERT_TRUE(backend);
    backend->kill();  // already ended when the stop comes
    ASSERT_TRUE(waitFor([&] { return !backend->running(); }));
    server.stopServer();
    EXPECT_EQ(server.proc(), nullptr);

    server.start();
    backend = server.proc();
    server.stop();
    EXPECT_EQ(server.proc(), backend);
    EXPECT_FALSE(backend->running());
}

TEST(ServerStop, AQuitDuringTheLaunchStopsTheBackendWithoutWaitingForReadiness) {
    FakeBundle bundle;
    bundle.backend({.serves = false});
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), {});  // 60 rounds of 0.5 s
    std::atomic<bool> returned{false};
    std::thread launch([&] {
        server.start();
        returned = true;
    });
    ASSERT_TRUE(waitFor([&] { return server.proc() && server.proc()->running(); }));
    auto backend = server.proc();
    QElapsedTimer timer;
    timer.start();
    server.stop();
    EXPECT_TRUE(waitFor([&] { return returned.load(); }, 3000));
    launch.join();
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_FALSE(backend->running());

    // Nothing is launched after the stop, not even by a restart already under way.
    server.restartServer();
    EXPECT_EQ(server.proc(), nullptr);
}

TEST(ServerStop, AStopBeforeTheLaunchPreventsIt) {
    FakeBundle bundle;
    bundle.backend({.serves = false});
    bundle.ollama();
    Probes probes;
    Server server(bundle.locations(), bundle.services(probes.probe()), kQuick);
    server.stop();
    server.start();
    EXPECT_EQ(server.proc(), nullptr);
    EXPECT_EQ(server.ollama(), nullptr);
}

// A bundle whose backend runs and never answers, and what the supervisor logs about it.
class ServerLog : public testing::Test {
  protected:
    ServerLog() { bundle.backend({.serves = false}); }
    ~ServerLog() override { server.stopServer(); }
    QString logFile() const { return bundle.data() + "/server.log"; }

    FakeBundle bundle;
    Probes probes;
    LogCapture log;
    Server server{bundle.locations(), bundle.services(probes.probe()), kQuick};
};

TEST_F(ServerLog, SaysWhatItLaunchedAndOnceWhenThatBackendIsGone) {
    server.start();
    const auto process = server.proc();
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(log.lines(),
              QStringList({QString("backend launched (pid %1) on 127.0.0.1:8765, its output in %2")
                               .arg(process->pid())
                               .arg(logFile()),
                           "the backend has not answered after 3 probes"}));

    server.noticeGone();  // still running: nothing to say
    EXPECT_EQ(log.lines().size(), 2);
    process->kill();
    ASSERT_TRUE(waitFor([&] { return !process->running(); }, 10000));
    server.noticeGone();
    server.noticeGone();  // said once
    EXPECT_EQ(log.containing("is gone"),
              QStringList(QString("the backend (pid %1) is gone, ended by signal 9; see %2")
                              .arg(process->pid())
                              .arg(logFile())));
}

TEST_F(ServerLog, ABackendStoppedByTheAgentIsNotCalledGone) {
    server.start();
    const auto process = server.proc();
    server.stop();
    ASSERT_FALSE(process->running());
    server.noticeGone();
    EXPECT_TRUE(log.containing("gone").isEmpty());
}

TEST_F(ServerLog, ARestartSaysWhereTheBackendWillListen) {
    ASSERT_TRUE(QFile(server.dataDir() + "/remote_access").open(QIODevice::WriteOnly));
    server.restartServer();
    EXPECT_EQ(log.lines().value(0).toStdString(), "restarting the backend to listen on 0.0.0.0");
    EXPECT_EQ(log.containing("backend launched").size(), 1);
    EXPECT_TRUE(log.lines().value(1).contains(" on 0.0.0.0:8765,"))
        << log.lines().value(1).toStdString();
}

TEST(ServerLogStart, SaysWhenItUsesAnotherBackendOrCannotLaunchOne) {
    struct Case {
        bool interpreter;
        bool answers;
        QString line;
    };
    FakeBundle bundle;
    const Case cases[] = {
        {true, true, "a backend already answers on port 8765: using it"},
        {false, false,
         "the backend could not be launched: " + bundle.res() + "/python/bin/python3 does not run"},
    };
    for (const Case& c : cases) {
        FakeBundle fresh;
        if (c.interpreter) fresh.backend({.serves = false});
        Probes probes;
        probes.backendAnswers = c.answers;
        LogCapture log;
        FakeBundle& used = c.interpreter ? fresh : bundle;
        Server server(used.locations(), used.services(probes.probe()), kQuick);
        server.start();
        EXPECT_EQ(log.lines().value(0), c.line);
        server.noticeGone();  // no backend of its own ended: nothing more
        EXPECT_TRUE(log.containing("gone").isEmpty()) << c.line.toStdString();
        server.stopServer();
    }
}

}  // namespace
