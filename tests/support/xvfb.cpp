#include "support/xvfb.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace qv::test {

Xvfb::Xvfb(int width, int height, int depth, const std::vector<std::string>& extraArgs) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    // Built before fork: the child of a threaded process must not allocate.
    const std::string fd = std::to_string(fds[1]);
    std::vector<const char*> argv = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                                     screen.c_str(), "-nolisten",  "tcp",      "-noreset"};
    for (const std::string& a : extraArgs) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        execvp("Xvfb", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return;
    }
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace qv::test
