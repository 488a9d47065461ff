// What the status poll needs of the backend's supervisor: to restart the backend on another
// listen address, and to say when the backend it launched has gone.
#pragma once

#include <QString>

namespace qv {

class BackendSupervisor {
  public:
    virtual ~BackendSupervisor() = default;
    // Whether the agent itself launched the backend (only such a backend is ever restarted).
    virtual bool launchedBackend() const = 0;
    // The address that backend was launched with, and the one it should listen on now.
    virtual QString host() const = 0;
    virtual QString wantedHost() const = 0;
    // Stops the launched backend and starts one again. Blocks: never on the main thread.
    virtual void restartServer() = 0;
    // After a poll that got no answer, on the main thread (and not during a restart): says once,
    // on the log, that the backend this agent launched has ended by itself, if it has.
    virtual void noticeGone() = 0;
};

}  // namespace qv
