// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that the agent's
// termination path runs as for a quit from the menu. Create one, on the main thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qv {

// Holds SIGTERM, SIGINT and SIGHUP back in the calling thread until a TerminationSignals exists,
// so that a termination asked for while the agent is still starting waits for the quit path
// instead of killing the process. Call it first thing in main, before any thread starts: threads
// started meanwhile keep the signals blocked, so they reach the main thread.
void holdTerminationSignals();

class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers, then lets through any signal held back by holdTerminationSignals(),
    // which then arrives as terminationRequested once the event loop runs.
    TerminationSignals();
    ~TerminationSignals() override;

  signals:
    void terminationRequested();

  private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qv
