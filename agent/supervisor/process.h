// A child process the agent launched: launch, is-running, terminate and kill, and reaping.
//
// Ownership: the object owns the child's process id until the child is reaped. Whoever asks
// running() reaps an ended child at once, so no child stays a zombie; a handle destroyed while its
// child still runs hands the id to a detached reaper and does not stop the child.
// Threading: every member may be called from any thread; a signal is never sent to an id that
// was already reaped (it may belong to another process by then).
#pragma once

#include <sys/types.h>

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>

namespace qv {

struct ProcessSpec {
    QString program;  // absolute path of the executable
    QStringList arguments;
    QString workingDirectory;            // empty: the agent's own
    QMap<QString, QString> environment;  // the child's whole environment
    // Both standard output and standard error go to this descriptor; -1 inherits the agent's.
    // The descriptor stays the caller's.
    int outputFd = -1;
};

class Process {
  public:
    // Starts the child with an empty signal mask and default signal dispositions, in its own
    // process group (the terminal's Ctrl+C reaches the agent, which then stops it), standard input
    // from /dev/null and no other inherited descriptors. Always returns a handle: one whose launch
    // failed has pid() -1 and never runs.
    static std::shared_ptr<Process> launch(const ProcessSpec& spec);
    // The handle of a launch that did not happen.
    static std::shared_ptr<Process> notLaunched();

    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    // Whether the child still runs; reaps it when it has ended.
    bool running();
    // Sends SIGTERM while the child runs.
    void terminate();
    // Sends SIGKILL while the child runs.
    void kill();
    // The signal that ended the child, 0 when it exited by itself, runs, or never started.
    int endedBySignal();

  private:
    explicit Process(pid_t pid) : pid_(pid) {}
    bool reapLocked();
    void signalLocked(int sig);

    const pid_t pid_;
    std::mutex mutex_;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace qv
