#include "platform/posix_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace qv {

namespace {

// posix_spawn's file actions and attributes, freed on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// NUL-terminated strings and the pointer array execve wants, kept alive together.
struct CStrings {
    std::vector<std::string> strings;
    std::vector<char*> pointers;
    char* const* terminated() {
        pointers.clear();
        for (std::string& s : strings) pointers.push_back(s.data());
        pointers.push_back(nullptr);
        return pointers.data();
    }
};

void prepare(SpawnSetup& setup, const ProcessSpec& spec) {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (spec.outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&setup.actions, spec.outputFd, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&setup.actions, spec.outputFd, STDERR_FILENO);
    }
    // Descriptors the agent forgot to mark close-on-exec (locks, sockets) stay with the agent.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    if (!spec.workingDirectory.isEmpty()) {
        posix_spawn_file_actions_addchdir_np(&setup.actions,
                                             spec.workingDirectory.toLocal8Bit().constData());
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(
        &setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
}

}  // namespace

std::shared_ptr<Process> Process::launch(const ProcessSpec& spec) {
    SpawnSetup setup;
    prepare(setup, spec);
    CStrings argv, envp;
    argv.strings.push_back(spec.program.toStdString());
    for (const QString& a : spec.arguments) argv.strings.push_back(a.toStdString());
    for (auto it = spec.environment.begin(); it != spec.environment.end(); ++it)
        envp.strings.push_back((it.key() + '=' + it.value()).toStdString());

    pid_t pid = -1;
    const std::string program = spec.program.toStdString();
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.terminated(),
                    envp.terminated()) != 0)
        pid = -1;
    return std::shared_ptr<Process>(new Process(pid));
}

std::shared_ptr<Process> Process::notLaunched() {
    return std::shared_ptr<Process>(new Process(-1));
}

Process::~Process() {
    std::lock_guard lock(mutex_);
    if (pid_ <= 0 || reapLocked()) return;
    // Still running and no longer ours to stop: reap it whenever it ends.
    std::thread([pid = pid_] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

bool Process::reapLocked() {
    if (reaped_ || pid_ <= 0) return true;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    // r < 0 (ECHILD): someone else reaped it; either way the id is no longer ours.
    reaped_ = true;
    status_ = r == pid_ ? status : 0;
    return true;
}

void Process::signalLocked(int sig) {
    if (!reapLocked()) ::kill(pid_, sig);
}

bool Process::running() {
    std::lock_guard lock(mutex_);
    return !reapLocked();
}

void Process::terminate() {
    std::lock_guard lock(mutex_);
    signalLocked(SIGTERM);
}

void Process::kill() {
    std::lock_guard lock(mutex_);
    signalLocked(SIGKILL);
}

int Process::endedBySignal() {
    std::lock_guard lock(mutex_);
    if (!reapLocked() || pid_ <= 0) return 0;
    return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
}

}  // namespace qv
