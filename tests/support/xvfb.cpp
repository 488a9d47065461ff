#include "support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv::test {

XServer::XServer(const std::string& program, const std::vector<std::string>& args, int waitMs,
                 bool quiet) {
    int fds[2];
    if (pipe(fds) != 0) return;
    // Built before fork: the child of a threaded process must not allocate.
    const std::string fd = std::to_string(fds[1]);
    std::vector<const char*> argv = {program.c_str(), "-displayfd", fd.c_str()};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return;
    }
    // The server writes its display number once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, waitMs) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

namespace {

std::vector<std::string> xvfbArgs(int width, int height, int depth,
                                  const std::vector<std::string>& extraArgs) {
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> args = {"-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    return args;
}

}  // namespace

Xvfb::Xvfb(int width, int height, int depth, const std::vector<std::string>& extraArgs)
    : XServer("Xvfb", xvfbArgs(width, height, depth, extraArgs), 10000) {}

}  // namespace qv::test
