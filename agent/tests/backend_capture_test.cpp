// The backend records the meeting's sound itself, from processes of its own, while the agent
// watches the same audio server for calls. The agent launches the backend, so those processes
// are its grandchildren: the call watcher's view (micUsers over the real audio-server adapter and
// the real process table) must never list them, whatever application the desktop would name
// them after. This test process stands for the agent: it launches the stand-in backend as the
// agent does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonObject>
#include <memory>
#include <vector>

#include "calls/mic_users.h"
#include "platform/proc_process_table.h"
#include "platform/pulse_connection.h"
#include "platform/pulse_mic_usage.h"
#include "support/pulse_daemon.h"
#include "support/qt_wait.h"
#include "support/stand_in_backend.h"

using namespace qv;
using namespace qv::test;

namespace {

// A desktop on which every given process is a regular application, "Call".
class EveryoneAnApplication : public RunningApplications {
  public:
    std::vector<RunningApplication> runningApplications() override { return apps; }
    std::vector<RunningApplication> apps;
};

std::vector<AudioProcess> runningInput(MicUsageSource& usage) {
    std::vector<AudioProcess> running;
    for (const AudioProcess& p : usage.audioProcesses())
        if (p.inputRunning && p.pid > 0) running.push_back(p);
    return running;
}

TEST(BackendCapture, TheBackendsOwnRecordingIsNeverTakenForACall) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start());
    ASSERT_GE(daemon.addMicrophone(), 0);
    daemon.use();
    PulseConnection audio("quorvia-test", 200);
    PulseMicUsage usage(audio, [](int32_t) { return QString(); });
    ASSERT_TRUE(waitFor([&] { return audio.ready(); }, 10000));

    StandInBackend backend;  // records from the audio server named in our environment
    ASSERT_TRUE(backend.ready());
    ASSERT_EQ(
        backend.call("POST", "/api/native/start", QJsonObject{{"app", "Brightline Meet"}}).first,
        200);

    std::vector<AudioProcess> capturing;
    ASSERT_TRUE(waitFor([&] { return !(capturing = runningInput(usage)).empty(); }, 20000))
        << "the backend's recording does not capture the microphone";
    ProcProcessTable processes;
    EveryoneAnApplication desktop;
    for (const AudioProcess& p : capturing) {
        desktop.apps.push_back(
            {p.pid, true, QStringLiteral("org.example.Call"), QStringLiteral("Call")});
        // A child of the backend: not a process the backend started through another one.
        EXPECT_EQ(processes.parentPid(processes.parentPid(p.pid)), getpid());
    }

    // From outside the agent's process family the same capture would be a call ...
    EXPECT_EQ(micUsers({usage, processes, desktop, -1}).size(), capturing.size());
    // ... but it is the agent's own, through the backend it launched.
    EXPECT_TRUE(micUsers({usage, processes, desktop, static_cast<int32_t>(getpid())}).empty());

    EXPECT_EQ(backend.call("POST", "/api/native/stop", QJsonObject{}).first, 200);
    EXPECT_TRUE(waitFor([&] { return runningInput(usage).empty(); }, 10000))
        << "the backend's capture outlived its recording";
}

}  // namespace
