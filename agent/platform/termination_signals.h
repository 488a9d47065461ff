// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that the agent's
// termination path runs as for a quit from the menu. Create one, on the main thread.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace qv {

class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    TerminationSignals();
    ~TerminationSignals() override;

  signals:
    void terminationRequested();

  private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qv
