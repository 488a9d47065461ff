// Cost of one call-watcher tick on the main thread: the microphone list (capture streams from
// the audio server, process ancestry, naming through the windows and desktop entries) and the
// watcher's state update, with the real adapters against a private X server with 20 top-level
// windows and a private audio server with 5 capture streams. Prints main-thread CPU per tick.
//
//   watcher_tick [ticks]        (default 2000)
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app_fixture.h"
#include "calls/mic_users.h"
#include "platform/desktop_applications.h"
#include "platform/proc_process_table.h"
#include "platform/pulse_connection.h"
#include "platform/pulse_mic_usage.h"
#include "support/capture_stream.h"
#include "support/pulse_daemon.h"
#include "support/qt_wait.h"
#include "support/xvfb.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr int kWindows = 20;
constexpr int kStreams = 5;
constexpr int kInstalled = 200;  // desktop entries, as on a desktop with many applications

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Processes that own the windows: idle children.
std::vector<pid_t> startOwners(int n) {
    std::vector<pid_t> pids;
    for (int i = 0; i < n; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        pids.push_back(pid);
    }
    return pids;
}

void stopOwners(const std::vector<pid_t>& pids) {
    for (pid_t p : pids) kill(p, SIGTERM);
    for (pid_t p : pids) waitpid(p, nullptr, 0);
}

void openWindows(xcb_connection_t* c, const std::vector<pid_t>& owners) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const char* pidName = "_NET_WM_PID";
    auto* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(pidName), pidName), nullptr);
    const xcb_atom_t pidAtom = r->atom;
    std::free(r);
    for (size_t i = 0; i < owners.size(); ++i) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 200, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const std::string name = "BenchApp" + std::to_string(i);
        const std::string both = name + '\0' + name + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            both.size(), both.data());
        const uint32_t pid = static_cast<uint32_t>(owners[i]);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(c, w);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void installEntries(const QString& folder) {
    QDir().mkpath(folder);
    for (int i = 0; i < kInstalled; ++i) {
        QFile f(folder + QStringLiteral("/org.bench.App%1.desktop").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Bench App %1\n"
                               "Name[de]=Testprogramm %1\nStartupWMClass=BenchApp%1\n"
                               "Exec=true\nIcon=bench\n")
                    .arg(i)
                    .toUtf8());
    }
}

struct Figures {
    double mean, p50, p99, max;
};

Figures summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    return {sum / v.size(), v[v.size() / 2], v[v.size() * 99 / 100], v.back()};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int ticks = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;

    Xvfb x;
    PulseDaemon daemon;
    if (!x.running() || !daemon.start() || daemon.addMicrophone() < 0) {
        std::fprintf(stderr, "watcher_tick: could not start Xvfb or PulseAudio\n");
        return 1;
    }
    daemon.use();
    qputenv("DISPLAY", QByteArray::fromStdString(x.display()));
    QTemporaryDir dir;
    installEntries(dir.filePath("applications"));

    const std::vector<pid_t> owners = startOwners(kWindows);
    xcb_connection_t* c = xcb_connect(x.display().c_str(), nullptr);
    openWindows(c, owners);

    // Five capture streams: three of applications with windows, two of processes that belong
    // to none (the slowest case: every naming step is tried).
    const std::vector<pid_t> strangers = startOwners(2);
    CaptureStreams client;
    const std::vector<pid_t> capturing = {owners[0], owners[7], owners[13], strangers[0],
                                          strangers[1]};
    for (int i = 0; i < kStreams; ++i) {
        client.open({.device = "microphone",
                     .properties = {{"application.process.id", std::to_string(capturing[i])}}});
    }

    DesktopEntries entries({dir.filePath("applications")}, "de_DE");
    const std::unique_ptr<WindowList> windows = makeWindowList();
    DesktopApplications applications(*windows, entries, /*unitProcesses=*/false);
    PulseConnection audio("quorvia-bench", 200);
    PulseMicUsage usage(audio, [&](int32_t pid) { return applications.desktopIdOf(pid); });
    ProcProcessTable processes;
    // The windows' owners are this program's children: it must not count as the agent, whose
    // family is left out.
    const int32_t agent = INT32_MAX;
    const MicUserSources sources{usage, processes, applications, agent};
    const bool ready = waitFor(
        [&] {
            return windows->snapshot().windows->size() == kWindows &&
                   usage.audioProcesses().size() == kStreams && micUsers(sources).size() == 3;
        },
        20000);
    if (!ready) {
        std::fprintf(stderr,
                     "watcher_tick: the windows or streams did not appear (%zu windows, %zu "
                     "streams, %zu named)\n",
                     windows->snapshot().windows->size(), usage.audioProcesses().size(),
                     micUsers(sources).size());
        for (const auto& p : usage.audioProcesses())
            std::fprintf(stderr, "stream %u pid %d running %d\n", p.id, p.pid, p.inputRunning);
        for (const auto& a : applications.runningApplications())
            std::fprintf(stderr, "app %d %s\n", a.pid,
                         a.localizedName.value_or("-").toUtf8().constData());
        stopOwners(owners);
        stopOwners(strangers);
        return 1;
    }

    AppWorld world;
    AppServices services = world.services();
    services.micUsers = micUserList(sources);
    App app(services);
    app.statusPoll.state.setupDone = true;

    std::vector<double> perTick;
    perTick.reserve(ticks);
    for (int i = 0; i < ticks; ++i) {
        world.clock.advance(1.5);
        world.prompt.open = false;  // every offer answered at once: the watcher keeps offering
        const double before = threadCpuMicros();
        app.watcher.watchMic();
        perTick.push_back(threadCpuMicros() - before);
    }
    // A tick right after the windows changed: the names are derived anew.
    std::vector<double> afterChange;
    for (int i = 0; i < 20; ++i) {
        const uint64_t generation = windows->snapshot().generation;
        const std::string name = "Renamed" + std::to_string(i);
        const std::string both = name + '\0' + name + '\0';
        const uint32_t w = windows->snapshot().windows->at(i % kWindows).id;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            both.size(), both.data());
        xcb_flush(c);
        waitFor([&] { return windows->snapshot().generation != generation; }, 5000);
        world.clock.advance(1.5);
        const double before = threadCpuMicros();
        app.watcher.watchMic();
        afterChange.push_back(threadCpuMicros() - before);
    }

    const Figures steady = summarise(perTick);
    const Figures changed = summarise(afterChange);
    std::printf(
        "Watcher tick, main-thread CPU (%d windows, %d capture streams, %d installed "
        "applications, %d ticks)\n",
        kWindows, kStreams, kInstalled, ticks);
    std::printf("  %-28s %8s %8s %8s %8s\n", "", "mean", "p50", "p99", "max");
    std::printf("  %-28s %7.0fus %7.0fus %7.0fus %7.0fus\n", "steady", steady.mean, steady.p50,
                steady.p99, steady.max);
    std::printf("  %-28s %7.0fus %7.0fus %7.0fus %7.0fus\n", "right after a window change",
                changed.mean, changed.p50, changed.p99, changed.max);
    std::printf("  target: under 1000us per tick\n");
    xcb_disconnect(c);
    stopOwners(owners);
    stopOwners(strangers);
    return 0;
}
