// Child processes through posix_spawn: launch, is-running, terminate and kill, and reaping.
//
// Ownership: a Process owns the child's process id until the child is reaped. Whoever asks
// running() reaps an ended child at once, so no child stays a zombie; a handle destroyed while its
// child still runs hands the id to a detached reaper and does not stop the child.
// Threading: every member may be called from any thread; a signal is never sent to an id that
// was already reaped (it may belong to another process by then).
#pragma once

#include <memory>
#include <mutex>

#include "ports/child_process.h"

namespace qv {

class Process final : public ChildProcess {
  public:
    // Starts the child with an empty signal mask and default signal dispositions, in its own
    // process group (the terminal's Ctrl+C reaches the agent, which then stops it), standard input
    // from /dev/null and no other inherited descriptors. Always returns a handle: one whose launch
    // failed has pid() -1 and never runs.
    static std::shared_ptr<Process> launch(const ProcessSpec& spec);
    // The handle of a launch that did not happen.
    static std::shared_ptr<Process> notLaunched();

    ~Process() override;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const override { return pid_; }
    bool running() override;
    void terminate() override;
    void kill() override;
    int endedBySignal() override;

  private:
    explicit Process(pid_t pid) : pid_(pid) {}
    bool reapLocked();
    void signalLocked(int sig);

    const pid_t pid_;
    std::mutex mutex_;
    bool reaped_ = false;
    int status_ = 0;
};

// Launches through Process::launch.
class PosixLauncher : public ProcessLauncher {
  public:
    std::shared_ptr<ChildProcess> launch(const ProcessSpec& spec) override {
        return Process::launch(spec);
    }
};

}  // namespace qv
