// The supervisor against the backend's real port: a backend that already answers, the real
// stand-in backend launched through the real command line, the log of each launch, and the
// agent's start-up and listen-address restart end to end. Every test holds the port's lock.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <atomic>
#include <thread>

#include "app_fixture.h"
#include "fake_bundle.h"
#include "main/constants.h"
#include "platform/qt_event_loop.h"
#include "platform/qt_http_client.h"
#include "support/fake_http_server.h"
#include "support/port_lock.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

const QString kReady = BASE + "/api/status";

// Runs blocking work on another thread (probes must not run on the main thread) while the main
// thread keeps its event loop going for servers inside the test.
void offMain(const std::function<void()>& work, int timeoutMs = 60000) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        work();
        done = true;
    });
    waitFor([&] { return done.load(); }, timeoutMs);
    t.join();
}

bool alive() {
    bool answer = false;
    offMain([&] { answer = httpAlive(kReady); });
    return answer;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

Locations stagedBundle(const QTemporaryDir& dir) {
    return Locations{QStringLiteral(QV_STAGE_RES), dir.filePath("share"), dir.filePath("home")};
}

TEST(BackendLaunch, ABackendAlreadyAnsweringIsUsedAndNothingIsLaunched) {
    PortLock port;
    FakeHttpServer running(PORT);
    ASSERT_TRUE(running.listening());
    FakeBundle bundle;
    bundle.backend({});
    QDir().mkpath(bundle.data());
    QFile old(bundle.data() + "/server.log");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier run\n");
    old.close();

    Server server(bundle.locations(), bundle.services());
    offMain([&] { server.start(); });
    EXPECT_EQ(server.proc(), nullptr);
    EXPECT_EQ(server.host(), "127.0.0.1");
    EXPECT_EQ(readFile(bundle.data() + "/server.log"), "earlier run\n");
    ASSERT_GE(running.requests.size(), 1);
    EXPECT_EQ(running.requests.last().path, "/api/status");

    server.stop();  // not ours: left running
    EXPECT_TRUE(running.listening());
    const auto before = running.requests.size();
    EXPECT_TRUE(alive());
    EXPECT_EQ(running.requests.size(), before + 1);
}

TEST(BackendLaunch, TheStandInBackendComesUpThroughTheRealCommandLineAndStopEndsIt) {
    PortLock port;
    QTemporaryDir dir;
    PosixLauncher launcher;
    LocalDataFiles files;
    Server server(stagedBundle(dir), {launcher, files, httpAlive});
    offMain([&] { server.start(); });
    auto backend = server.proc();
    ASSERT_NE(backend, nullptr);
    EXPECT_TRUE(backend->running());
    EXPECT_EQ(server.host(), "127.0.0.1");
    EXPECT_TRUE(alive());

    const QString data = server.dataDir();
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(data + "/server.log"), 0600u);
    EXPECT_TRUE(QFile::exists(data + "/halcyra.db"));  // the backend used the folder it was given
    EXPECT_TRUE(readFile(data + "/server.log").contains("127.0.0.1:8765"));

    server.stop();
    EXPECT_FALSE(backend->running());
    EXPECT_EQ(server.proc(), backend);
    EXPECT_FALSE(alive());
}

TEST(BackendLaunch, EachLaunchLeavesOnlyItsOwnOutputInTheLog) {
    PortLock port;
    FakeBundle bundle;
    bundle.backend({});
    Server server(bundle.locations(), bundle.services());
    offMain([&] { server.start(); });
    const pid_t first = server.proc()->pid();
    const QByteArray firstLog = readFile(bundle.data() + "/server.log");
    EXPECT_TRUE(firstLog.startsWith("launched " + QByteArray::number(first) + " in " +
                                    QFile::encodeName(bundle.res()) +
                                    "/app with -m uvicorn app.main:app --host 127.0.0.1 --port "
                                    "8765\n"))
        << firstLog.toStdString();
    EXPECT_TRUE(firstLog.contains("data " + QFile::encodeName(bundle.data()) + "\n"));

    offMain([&] { server.restartServer(); });
    const pid_t second = server.proc()->pid();
    ASSERT_NE(first, second);
    const QByteArray secondLog = readFile(bundle.data() + "/server.log");
    EXPECT_TRUE(secondLog.startsWith("launched " + QByteArray::number(second)));
    EXPECT_FALSE(secondLog.contains(QByteArray::number(first)));
    server.stop();
}

// The agent's own start-up against the stand-in backend, then the marker that moves the backend
// to all interfaces, with the real HTTP client, background queue and supervisor.
TEST(BackendLaunch, AgentStartsTheBackendOpensSetupAndRestartsItForRemoteAccess) {
    PortLock port;
    QTemporaryDir dir;
    QSettings settings(dir.filePath("quorvia.conf"), QSettings::IniFormat);
    FakeClock clock;
    QtHttpClient http(BASE);
    FakeBrowser browser;
    FakePermissions permissions;
    PosixLauncher launcher;
    LocalDataFiles files;
    Server server(stagedBundle(dir), {launcher, files, httpAlive});
    NullPrompt prompt;
    NullMeetingCard card;
    FakeCalendarAccess calendar;
    FakeLoginItem loginItem;
    FakeQuestion question;
    FakeForeground foreground;
    ThreadQueue background;
    App app({http, browser, clock, clock, background, settings, permissions, server, prompt, card,
             calendar, nullptr, loginItem, question, foreground, files});

    app.applicationDidFinishLaunching();
    // The launch, then the first poll: the stand-in's setup is not done yet.
    ASSERT_TRUE(waitFor([&] { return !browser.opened.isEmpty(); }, 60000));
    EXPECT_EQ(browser.opened, QStringList{WEB + "/#/setup"});
    EXPECT_EQ(readFile(server.dataDir() + "/permissions.json"),
              R"({"mic": "granted", "screen": true})");
    const auto first = server.proc();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(server.host(), "127.0.0.1");

    QFile marker(server.dataDir() + "/remote_access");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();
    clock.advance(2.0);  // the next poll
    ASSERT_TRUE(waitFor([&] { return app.statusPoll.restarting; }, 10000));
    ASSERT_TRUE(waitFor([&] { return !app.statusPoll.restarting; }, 60000));
    EXPECT_EQ(server.host(), "0.0.0.0");
    EXPECT_FALSE(first->running());
    ASSERT_NE(server.proc(), first);
    EXPECT_TRUE(alive());

    clock.advance(2.0);  // polls go on; the address fits now, so nothing more happens
    spin(500);
    EXPECT_FALSE(app.statusPoll.restarting);
    EXPECT_EQ(browser.opened.size(), 1);

    const auto second = server.proc();
    app.applicationWillTerminate();
    EXPECT_FALSE(second->running());
    EXPECT_FALSE(alive());
}

}  // namespace
