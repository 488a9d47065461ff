// Programs a test runs: a child with its own environment and output files that the test can
// signal and wait for, and a command whose output it reads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hc::test {

class ChildProcess {
  public:
    // Starts `argv` with `env` added to the environment and its standard output and error
    // written to the two files. The child is killed if the test leaves it running.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, const std::filesystem::path& out,
                 const std::filesystem::path& err);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    // The wait status once the child has ended, or nothing after `limit`.
    std::optional<int> wait(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

struct CommandResult {
    int status = -1;  // the exit status, or -1 when the command did not exit normally
    std::string out;
    std::string err;
};

// Runs a shell command and collects both of its outputs.
CommandResult runCommand(const std::string& command);

std::string readFile(const std::filesystem::path& path);

// Waits until `path` holds `text` (or `limit` passes); true when it does.
bool waitForText(const std::filesystem::path& path, const std::string& text,
                 std::chrono::milliseconds limit);

}  // namespace hc::test
