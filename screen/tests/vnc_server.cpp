#include "vnc_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "child_process.h"

namespace hc::test {

namespace {

bool onPath(const std::string& program) {
    return runCommand("command -v " + program + " >/dev/null").status == 0;
}

}  // namespace

std::string VncServer::missingTools() {
    std::string missing;
    if (!onPath("Xtigervnc")) missing += "Xtigervnc (tigervnc-standalone-server) ";
    if (!onPath("xrandr")) missing += "xrandr (x11-xserver-utils) ";
    return missing.empty() ? "" : "not installed: " + missing;
}

VncServer::VncServer(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string geometry = std::to_string(width) + "x" + std::to_string(height);
    const std::string fd = std::to_string(fds[1]);
    // Built before fork: the child of a threaded process must not allocate.
    std::vector<const char*> argv = {
        "Xtigervnc",      "-displayfd", fd.c_str(),   "-geometry", geometry.c_str(),
        "-SecurityTypes", "None",       "-localhost", "-rfbport",  "-1",
        "-nolisten",      "tcp",        nullptr};
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp("Xtigervnc", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
}

VncServer::~VncServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool VncServer::xrandr(const std::string& args) const {
    return runCommand("DISPLAY=" + display_ + " xrandr " + args).status == 0;
}

}  // namespace hc::test
