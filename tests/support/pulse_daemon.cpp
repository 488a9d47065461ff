#include "support/pulse_daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace qv::test {

namespace {

bool onPath(const std::string& program) {
    const char* path = getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

}  // namespace

PulseDaemon::Kind PulseDaemon::installedKind() {
    if (const char* chosen = getenv("QV_TEST_AUDIO_SERVER")) {
        if (std::strcmp(chosen, "pipewire") == 0) return Kind::PipeWire;
        if (std::strcmp(chosen, "pulseaudio") == 0) return Kind::PulseAudio;
    }
    if (onPath("pulseaudio")) return Kind::PulseAudio;
    if (onPath("pipewire-pulse")) return Kind::PipeWire;
    return Kind::PulseAudio;  // start() then says that none is installed
}

const char* PulseDaemon::name(Kind kind) {
    return kind == Kind::PipeWire ? "PipeWire (pipewire-pulse)" : "PulseAudio";
}

PulseDaemon::PulseDaemon(Kind kind) : kind_(kind) {
    char pattern[] = "/tmp/qv-pulse-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    // PulseAudio listens where the command line says; pipewire-pulse at its default place
    // under the runtime folder.
    socket_ = kind_ == Kind::PipeWire ? dir_ + "/run/pulse/native" : dir_ + "/native";
    busAddress_ = "unix:path=" + dir_ + "/bus";
}

PulseDaemon::~PulseDaemon() {
    stop();
    if (!dir_.empty()) {
        const std::string cleanup = "rm -rf '" + dir_ + "'";
        [[maybe_unused]] int rc = std::system(cleanup.c_str());
    }
}

bool PulseDaemon::start() {
    if (dir_.empty()) return false;
    if (running()) return true;
    for (const char* sub : {"/run", "/config", "/state", "/logs"}) {
        mkdir((dir_ + sub).c_str(), 0700);
    }
    const bool started = kind_ == Kind::PipeWire ? startPipeWire() : startPulseAudio();
    if (!started) {
        std::cerr << "The private audio server (" << name(kind_) << ") did not start.\n";
        dumpLogs();
        stop();
    }
    return started;
}

bool PulseDaemon::startPulseAudio() {
    if (!onPath("pulseaudio")) {
        std::cerr << "pulseaudio is not installed.\n";
        return false;
    }
    const std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_;
    if (spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
               "--disallow-module-loading=no", "-L", protocol, "-L",
               "module-null-sink sink_name=speakers"},
              "pulseaudio") < 0) {
        return false;
    }
    return waitUntilAnswering();
}

bool PulseDaemon::startPipeWire() {
    for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse"}) {
        if (!onPath(program)) {
            std::cerr << program << " is not installed.\n";
            return false;
        }
    }
    writePrivateConfiguration();
    // The session bus first (wireplumber wants one), then the graph, its session manager and
    // the PulseAudio service, each once the one before it listens.
    if (spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + busAddress_},
              "dbus") < 0) {
        return false;
    }
    const std::string graph = pipewireSocket();
    if (spawn({"pipewire"}, "pipewire") < 0) return false;
    for (int i = 0; i < 100 && !exists(graph); ++i) usleep(100 * 1000);
    if (spawn({"wireplumber"}, "wireplumber") < 0) return false;
    if (spawn({"pipewire-pulse"}, "pipewire-pulse") < 0) return false;
    if (!waitUntilAnswering()) return false;
    std::string out;
    if (pactl("load-module module-null-sink sink_name=speakers", &out) != 0) return false;
    // The service takes a default device only once its session manager keeps the defaults, a
    // moment after it answers.
    for (int i = 0; i < 100; ++i) {
        if (pactl("set-default-sink speakers") == 0) return true;
        usleep(100 * 1000);
    }
    std::cerr << "The private PipeWire does not take a default output.\n";
    return false;
}

void PulseDaemon::writePrivateConfiguration() const {
    // The private session manager must leave the machine's sound cards, cameras and
    // Bluetooth devices to the user's own audio server.
    const std::string config = dir_ + "/config/wireplumber";
    mkdir(config.c_str(), 0700);
    mkdir((config + "/main.lua.d").c_str(), 0700);
    mkdir((config + "/bluetooth.lua.d").c_str(), 0700);
    writeFile(config + "/main.lua.d/51-private-test-server.lua",
              "alsa_monitor.enabled = false\n"
              "v4l2_monitor.enabled = false\n"
              "libcamera_monitor.enabled = false\n");
    writeFile(config + "/bluetooth.lua.d/51-private-test-server.lua",
              "bluez_monitor.enabled = false\n");
}

pid_t PulseDaemon::spawn(const std::vector<std::string>& argv, const std::string& logName) {
    const std::string log = dir_ + "/logs/" + logName + ".log";
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
        if (kind_ == Kind::PipeWire) {
            setenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.c_str(), 1);
        } else {
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        }
        unsetenv("PULSE_SERVER");
        unsetenv("PIPEWIRE_REMOTE");
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid > 0) pids_.push_back(pid);
    return pid;
}

bool PulseDaemon::waitUntilAnswering() {
    for (int i = 0; i < 150; ++i) {
        if (pactl("info") == 0) return true;
        // A server process that already ended will not answer.
        for (pid_t pid : pids_) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pids_.erase(std::find(pids_.begin(), pids_.end(), pid));
                return false;
            }
        }
        usleep(100 * 1000);
    }
    return false;
}

void PulseDaemon::dumpLogs() const {
    const std::string command = "tail -n 20 '" + dir_ + "'/logs/*.log 1>&2";
    [[maybe_unused]] int rc = std::system(command.c_str());
}

void PulseDaemon::stop() {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
        kill(*it, SIGKILL);
        waitpid(*it, nullptr, 0);
    }
    pids_.clear();
    unlink(socket_.c_str());
    unlink(pipewireSocket().c_str());
    unlink((pipewireSocket() + ".lock").c_str());
    unlink((dir_ + "/bus").c_str());
}

void PulseDaemon::use() const {
    setenv("PULSE_SERVER", address().c_str(), 1);
}

int PulseDaemon::addMicrophone() {
    // PipeWire's service makes a virtual source through its null sink with a source's class.
    const std::string module =
        kind_ == Kind::PipeWire
            ? "module-null-sink sink_name=microphone media.class=Audio/Source/Virtual "
              "channel_map=front-left,front-right"
            : "module-null-source source_name=microphone";
    std::string out;
    if (pactl("load-module " + module, &out) != 0) return -1;
    try {
        return std::stoi(out);
    } catch (const std::exception&) {
        return -1;
    }
}

void PulseDaemon::removeModule(int index) {
    pactl("unload-module " + std::to_string(index));
}

int PulseDaemon::pactl(const std::string& args, std::string* out) const {
    const std::string command = "pactl --server=" + address() + " " + args + " 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) text += buffer;
    const int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qv::test
