// Child processes the agent launches and stops: the backend and the local model server.
//
// Threading: every member may be called from any thread (the supervisor launches and stops from
// its background work and from the main thread at exit).
#pragma once

#include <sys/types.h>

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

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

// One launched child. Whoever asks running() reaps an ended child, so none stays a zombie; a
// handle destroyed while its child still runs does not stop it.
class ChildProcess {
  public:
    virtual ~ChildProcess() = default;
    // -1 for a launch that failed (such a child never runs).
    virtual pid_t pid() const = 0;
    // Whether the child still runs; reaps it when it has ended.
    virtual bool running() = 0;
    // Sends SIGTERM while the child runs.
    virtual void terminate() = 0;
    // Sends SIGKILL while the child runs.
    virtual void kill() = 0;
    // The signal that ended the child, 0 when it exited by itself, runs, or never started.
    virtual int endedBySignal() = 0;
};

class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    // Starts the child. Always returns a handle: one whose launch failed has pid() -1.
    virtual std::shared_ptr<ChildProcess> launch(const ProcessSpec& spec) = 0;
};

}  // namespace qv
