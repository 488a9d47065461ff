// The audio-server adapter against a private audio server: which capture streams count as
// running input, with which process and application identifier, followed as they change and
// across the server going away and coming back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <algorithm>
#include <optional>

#include "platform/pulse_connection.h"
#include "platform/pulse_mic_usage.h"
#include "support/capture_stream.h"
#include "support/pulse_daemon.h"
#include "support/qt_wait.h"

using namespace qv;
using namespace qv::test;

namespace {

std::optional<AudioProcess> find(PulseMicUsage& usage, int index) {
    for (const AudioProcess& p : usage.audioProcesses())
        if (static_cast<int>(p.id) == index) return p;
    return std::nullopt;
}

// Waits until the adapter lists the stream `index` with input running as `running`.
bool listedAs(PulseMicUsage& usage, int index, bool running) {
    return waitFor(
        [&] {
            const std::optional<AudioProcess> p = find(usage, index);
            return p && p->inputRunning == running;
        },
        10000);
}

struct AudioWorld {
    PulseDaemon daemon;
    std::unique_ptr<PulseConnection> audio;
    std::unique_ptr<PulseMicUsage> usage;
    QList<int32_t> asked;  // the processes whose desktop-file id was asked for

    bool start() {
        if (!daemon.start() || daemon.addMicrophone() < 0) return false;
        daemon.use();
        audio = std::make_unique<PulseConnection>("quorvia-test", 200);
        usage = std::make_unique<PulseMicUsage>(*audio, [this](int32_t pid) {
            asked << pid;
            return QStringLiteral("org.example.Desktop");
        });
        return waitFor([&] { return audio->ready(); }, 10000);
    }
};

TEST(PulseMicUsage, OnlyARunningCaptureOfARealSourceIsRunningInput) {
    AudioWorld w;
    ASSERT_TRUE(w.start());
    CaptureStreams client;
    ASSERT_TRUE(client.connected());
    struct Case {
        const char* what;
        CaptureStreams::Options options;
        bool running;
    };
    const Case cases[] = {
        {"a capture of the microphone", {.device = "microphone"}, true},
        {"a corked capture", {.device = "microphone", .corked = true}, false},
        {"a level meter", {.device = "microphone", .peakDetect = true}, false},
        {"a capture of an output's monitor", {.device = "speakers.monitor"}, false},
        {"a level meter by its properties",
         {.device = "microphone", .properties = {{"stream.monitor", "true"}}},
         false},
        {"an output captured directly",
         {.device = "microphone", .properties = {{"stream.capture.sink", "true"}}},
         false},
    };
    std::vector<int> indexes;
    for (const Case& c : cases) {
        const int index = client.open(c.options);
        ASSERT_GE(index, 0) << c.what;
        indexes.push_back(index);
        EXPECT_TRUE(listedAs(*w.usage, index, c.running)) << c.what;
    }
    // Listed in the server's order, each with this process as its process.
    const std::vector<AudioProcess> listed = w.usage->audioProcesses();
    ASSERT_EQ(listed.size(), indexes.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(static_cast<int>(listed[i].id), indexes[i]);
        EXPECT_EQ(listed[i].pid, getpid());
    }

    // Changes are followed: uncorked, corked again, closed.
    EXPECT_TRUE(client.cork(indexes[1], false));
    EXPECT_TRUE(listedAs(*w.usage, indexes[1], true));
    EXPECT_TRUE(client.cork(indexes[0], true));
    EXPECT_TRUE(listedAs(*w.usage, indexes[0], false));
    client.close(indexes[0]);
    EXPECT_TRUE(waitFor([&] { return !find(*w.usage, indexes[0]); }, 10000));
}

TEST(PulseMicUsage, ACaptureInAnotherProcessCarriesThatProcessId) {
    AudioWorld w;
    ASSERT_TRUE(w.start());
    QProcess recorder;
    recorder.start("parecord", {"--device=microphone", "--raw", "/dev/null"});
    ASSERT_TRUE(recorder.waitForStarted());
    const int32_t pid = static_cast<int32_t>(recorder.processId());
    EXPECT_TRUE(waitFor(
        [&] {
            const auto all = w.usage->audioProcesses();
            return std::any_of(all.begin(), all.end(), [&](const AudioProcess& p) {
                return p.pid == pid && p.inputRunning;
            });
        },
        10000));
    recorder.terminate();
    recorder.waitForFinished();
    EXPECT_TRUE(waitFor([&] { return w.usage->audioProcesses().empty(); }, 10000));
}

// The parent of a process, from /proc; 0 when it is gone.
int32_t parentOf(int32_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 ? fields[1].toInt() : 0;
}

TEST(PulseMicUsage, ANativePipeWireCaptureInAProcessNamespaceIsTheKernelsProcess) {
    if (PulseDaemon::installedKind() != PulseDaemon::Kind::PipeWire)
        GTEST_SKIP() << "native PipeWire clients need PipeWire as the audio server";
    if (geteuid() != 0) GTEST_SKIP() << "a process namespace of its own needs root";
    AudioWorld w;
    ASSERT_TRUE(w.start());
    // As a sandbox starts it: in its own process namespace the recorder is process 1 and says so.
    QProcess sandbox;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PIPEWIRE_REMOTE", QString::fromStdString(w.daemon.pipewireSocket()));
    sandbox.setProcessEnvironment(env);
    sandbox.start("unshare", {"--pid", "--fork", "--mount-proc", "--kill-child", "pw-record",
                              "--target", "microphone", "/dev/null"});
    ASSERT_TRUE(sandbox.waitForStarted());
    const int32_t outside = static_cast<int32_t>(sandbox.processId());
    EXPECT_TRUE(waitFor(
        [&] {
            const auto all = w.usage->audioProcesses();
            return std::any_of(all.begin(), all.end(), [&](const AudioProcess& p) {
                return p.inputRunning && p.pid > 1 && parentOf(p.pid) == outside;
            });
        },
        10000));
    sandbox.terminate();
    sandbox.waitForFinished();
}

TEST(PulseMicUsage, TheIdentifierIsTheApplicationsOwnElseOneFoundForTheProcess) {
    AudioWorld w;
    ASSERT_TRUE(w.start());
    CaptureStreams client;
    const int own = client.open(
        {.device = "microphone", .properties = {{"application.id", "org.Example.Caller"}}});
    const int portal =
        client.open({.device = "microphone",
                     .properties = {{"pipewire.access.portal.app_id", "org.Flat.App"}}});
    const int plain = client.open({.device = "microphone"});
    ASSERT_TRUE(listedAs(*w.usage, own, true));
    ASSERT_TRUE(listedAs(*w.usage, portal, true));
    ASSERT_TRUE(listedAs(*w.usage, plain, true));
    EXPECT_EQ(w.usage->bundleId(*find(*w.usage, own)), "org.Example.Caller");
    EXPECT_EQ(w.usage->bundleId(*find(*w.usage, portal)), "org.Flat.App");
    EXPECT_EQ(w.usage->bundleId(*find(*w.usage, plain)), "org.example.Desktop");
    EXPECT_EQ(w.asked, QList<int32_t>{getpid()});
    // Found once per stream.
    w.usage->bundleId(*find(*w.usage, plain));
    EXPECT_EQ(w.asked.size(), 1);
}

TEST(PulseMicUsage, NothingWhileTheServerIsGoneAndTheStreamsAgainOnceItIsBack) {
    AudioWorld w;
    ASSERT_TRUE(w.start());
    {
        CaptureStreams client;
        const int index = client.open({.device = "microphone"});
        ASSERT_TRUE(listedAs(*w.usage, index, true));
        w.daemon.stop();
        EXPECT_TRUE(waitFor([&] { return w.usage->audioProcesses().empty(); }, 10000));
    }
    ASSERT_TRUE(w.daemon.start());
    ASSERT_GE(w.daemon.addMicrophone(), 0);
    CaptureStreams client;
    const int index = client.open({.device = "microphone"});
    ASSERT_GE(index, 0);
    EXPECT_TRUE(listedAs(*w.usage, index, true));  // reconnected in the background
}

// The server reports much that changes no capture (volumes, sources coming and going): the
// adapter lists the streams again for each, on its own thread, and the main thread hears only
// of lists that differ from the one before.
TEST(PulseMicUsage, TheMainThreadHearsOnlyOfListsThatChanged) {
    AudioWorld w;
    ASSERT_TRUE(w.start());
    int heard = 0;
    ASSERT_TRUE(w.usage->notifyChanges([&] { ++heard; }));
    ASSERT_TRUE(waitFor([&] { return w.usage->listings() >= 1; }, 10000));
    spin(200);
    heard = 0;

    const QList<QStringList> unrelated = {
        {"set-source-volume", "microphone", "40%"},
        {"load-module", "module-null-sink", "sink_name=elsewhere"},  // and its monitor source
        {"set-source-mute", "microphone", "1"},
        {"set-source-mute", "microphone", "0"},
    };
    for (const QStringList& command : unrelated) {
        const uint64_t before = w.usage->listings();
        ASSERT_EQ(QProcess::execute("pactl", command), 0) << command.join(' ').toStdString();
        EXPECT_TRUE(waitFor([&] { return w.usage->listings() > before; }, 10000))
            << "no listing after " << command.join(' ').toStdString();
    }
    spin(300);  // what was posted, if anything, has arrived
    EXPECT_EQ(heard, 0);

    // Each change of the captures is heard: opened, corked, closed.
    CaptureStreams client;
    const int index = client.open({.device = "microphone"});
    ASSERT_GE(index, 0);
    EXPECT_TRUE(waitFor([&] { return heard >= 1; }, 10000));
    EXPECT_TRUE(listedAs(*w.usage, index, true));
    // A running capture's volume is no change of the list either.
    heard = 0;
    const uint64_t before = w.usage->listings();
    ASSERT_EQ(
        QProcess::execute("pactl", {"set-source-output-volume", QString::number(index), "50%"}), 0);
    EXPECT_TRUE(waitFor([&] { return w.usage->listings() > before; }, 10000));
    spin(300);
    EXPECT_EQ(heard, 0);
    EXPECT_TRUE(client.cork(index, true));
    EXPECT_TRUE(waitFor([&] { return heard >= 1; }, 10000));
    EXPECT_TRUE(listedAs(*w.usage, index, false));
    heard = 0;
    client.close(index);
    EXPECT_TRUE(waitFor([&] { return heard >= 1; }, 10000));
    EXPECT_TRUE(w.usage->audioProcesses().empty());
}

}  // namespace
