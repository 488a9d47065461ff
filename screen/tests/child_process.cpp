#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "temp_dir.h"

namespace hc::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env,
                           const std::filesystem::path& out, const std::filesystem::path& err) {
    // Everything the child needs is built before fork: a threaded process's child must not
    // allocate.
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [key, value] : env) environment.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ != 0) return;
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void ChildProcess::signal(int sig) const {
    kill(pid_, sig);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped_ = true;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

CommandResult runCommand(const std::string& command) {
    TempDir dir;
    const std::string full = command + " 2>" + (dir / "err").string();
    CommandResult result;
    FILE* p = popen(full.c_str(), "r");
    if (p == nullptr) return result;
    std::array<char, 4096> buf;
    while (const size_t n = fread(buf.data(), 1, buf.size(), p)) result.out.append(buf.data(), n);
    const int status = pclose(p);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readFile(dir / "err");
    return result;
}

bool waitForText(const std::filesystem::path& path, const std::string& text,
                 std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (readFile(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace hc::test
