#include "support/pulse_daemon.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace qv::test {

PulseDaemon::PulseDaemon() {
    char pattern[] = "/tmp/qv-pulse-XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    socket_ = dir_ + "/native";
}

PulseDaemon::~PulseDaemon() {
    stop();
    if (!dir_.empty()) {
        const std::string cleanup = "rm -rf '" + dir_ + "'";
        [[maybe_unused]] int rc = std::system(cleanup.c_str());
    }
}

bool PulseDaemon::start() {
    if (dir_.empty() || pid_ > 0) return pid_ > 0;
    const std::string runtime = dir_ + "/run";
    mkdir(runtime.c_str(), 0700);
    const std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_;
    const std::string log = dir_ + "/daemon.log";
    pid_ = fork();
    if (pid_ == 0) {
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("DISPLAY");
        if (FILE* f = freopen(log.c_str(), "w", stderr)) (void)f;
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
               "--use-pid-file=no", "--disallow-module-loading=no", "-L", protocol.c_str(), "-L",
               "module-null-sink sink_name=speakers", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) return false;
    for (int i = 0; i < 100; ++i) {
        if (pactl("info") == 0) return true;
        usleep(100 * 1000);
    }
    stop();
    return false;
}

void PulseDaemon::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    unlink(socket_.c_str());
}

void PulseDaemon::use() const {
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
}

int PulseDaemon::addMicrophone() {
    std::string out;
    if (pactl("load-module module-null-source source_name=microphone", &out) != 0) return -1;
    return std::stoi(out);
}

void PulseDaemon::removeModule(int index) {
    pactl("unload-module " + std::to_string(index));
}

int PulseDaemon::pactl(const std::string& args, std::string* out) const {
    const std::string command = "pactl --server=unix:" + socket_ + " " + args + " 2>/dev/null";
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
