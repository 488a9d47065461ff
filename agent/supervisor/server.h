// Supervises the local backend (and the local model server): launch, readiness, stop.
//
// One instance lives as long as the agent. start() and stopServer() block and run on a
// background thread, one at a time; stop() runs on the main thread at exit.
#pragma once

#include "supervisor/locations.h"

namespace qv {

class Server {
  public:
    explicit Server(Locations where);
    virtual ~Server() = default;

    // Makes sure a backend answers, launching one if needed; returns in every case.
    virtual void start();
    // Stops the backend this agent launched and forgets it.
    virtual void stopServer();
    // At exit: stops what this agent launched.
    virtual void stop();

    const Locations& locations() const { return where_; }

  private:
    Locations where_;
};

}  // namespace qv
