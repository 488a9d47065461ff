// Supervises the local backend (and the local model server): where their parts lie, the one-time
// data migration, their environment, launch, readiness, restart and stop.
//
// One instance lives as long as the agent. start() and stopServer() block and run on a background
// thread, one at a time; stop() runs on the main thread at exit, possibly while a start() is still
// under way. A mutex guards the launched processes and `host`; a stop() makes a running start()
// give up at its next step (it launches nothing more and stops waiting), so that quitting never
// waits for the readiness rounds and never leaves a backend running that this agent launched.
// What a user may need to know (launched, already running, not answering, restarted, gone) goes
// to the log (qInfo, qWarning), one line each.
#pragma once

#include <QMap>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "ports/backend_supervisor.h"
#include "ports/child_process.h"
#include "ports/data_files.h"
#include "supervisor/locations.h"

namespace qv {

// How long the supervisor waits. The agent runs with these defaults; tests shorten them.
struct ServerTimings {
    double grace = 20.0;      // from SIGTERM to SIGKILL
    double stopPoll = 0.2;    // how often a stopping backend is looked at
    int readyRounds = 60;     // readiness probes after a launch
    double readyPause = 0.5;  // after each failed readiness probe
};

class Server : public BackendSupervisor {
  public:
    // Blocking probe of a whole URL: true for HTTP 200 (the agent gives httpAlive); called from
    // the thread that runs start().
    using Probe = std::function<bool(const QString& url)>;
    // What the supervisor works through; all of it outlives the Server and is safe on any thread.
    struct Services {
        ProcessLauncher& launcher;  // the backend's and the model server's processes
        DataFiles& files;           // the "remote_access" marker
        Probe probe;                // does the backend (or the model server) answer
    };

    Server(Locations where, Services services, ServerTimings timings = {});
    ~Server() override = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Migrates legacy data, starts the model server if the bundle has one, none answers and the
    // one this agent launched (if any) has ended, and launches the backend unless one answers,
    // waiting for it to answer. Returns in every case.
    virtual void start();
    // Stops the backend this agent launched (SIGTERM, SIGKILL after the grace period) and
    // forgets it. The model server is not touched.
    virtual void stopServer();
    // At exit: stops the backend this agent launched (it stays remembered) and sends SIGTERM to
    // the model server it launched. Any later or running start() launches nothing.
    virtual void stop();
    // stopServer(), then start(): the backend comes up again on the address wanted now.
    void restartServer() override;
    // Whether proc() is set.
    bool launchedBackend() const override;
    // After a failed poll, on the main thread: says once, on the log, that the backend this
    // agent launched has ended by itself. Nothing while stopping, or after a restart began.
    void noticeGone() override;

    // The backend of the last launch (set even when that launch failed); empty after stopServer.
    std::shared_ptr<ChildProcess> proc() const;
    // The model server of the last model-server launch; never emptied.
    std::shared_ptr<ChildProcess> ollama() const;
    // The listen address of the last launch; "127.0.0.1" before any.
    QString host() const override;

    // Locations, computed afresh on each call. dataDir() creates the data folder (mode 0700)
    // when it is missing; failures are ignored and the path is returned regardless.
    QString python() const;
    QString appDir() const;
    QString binDir() const;
    QString dataDir() const;
    // "0.0.0.0" while anything exists at dataDir + "remote_access", else "127.0.0.1".
    QString wantedHost() const override;
    // Copies a legacy installation's data into the data folder once (see migrate.cpp).
    void migrate() const;
    // The backend's complete environment: the agent's own, with the bundle's variables set.
    QMap<QString, QString> env() const;

    const Locations& locations() const { return where_; }

  protected:
    // Records a launched backend and its listen address, replacing any earlier handle.
    void recordLaunch(std::shared_ptr<ChildProcess> process, const QString& listenAddress);

  private:
    void startOllama();
    bool launchBackend();
    void noteLaunch(const QString& address);
    void waitUntilReady();
    void stopBackend(const std::shared_ptr<ChildProcess>& process);
    // Sleeps up to `seconds`; returns false at once when stop() was called meanwhile.
    bool pause(double seconds);
    bool stopping() const;

    const Locations where_;
    ProcessLauncher& launcher_;
    DataFiles& files_;
    const Probe probe_;
    const ServerTimings timings_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::shared_ptr<ChildProcess> proc_;
    std::shared_ptr<ChildProcess> ollama_;
    QString host_ = QStringLiteral("127.0.0.1");
    bool goneNoted_ = false;  // the end of the current backend was logged
};

}  // namespace qv
