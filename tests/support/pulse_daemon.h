// A private PulseAudio daemon for one test, on a socket in its own temporary folder, with one
// output (so one monitor source) and no microphone until the test adds one. No Qt. The test
// process talks to it once PULSE_SERVER names it (use()). Killed when the object goes away.
#pragma once

#include <sys/types.h>

#include <string>

namespace qv::test {

class PulseDaemon {
  public:
    PulseDaemon();
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    // Starts the daemon and waits until it accepts clients; false when it could not.
    bool start();
    // Ends the daemon (SIGKILL, as a crash would) and waits for it.
    void stop();
    bool running() const { return pid_ > 0; }
    // Points this process's audio clients at the daemon (PULSE_SERVER).
    void use() const;

    // Adds a capture source that is not a monitor; returns its module index, or -1.
    int addMicrophone();
    void removeModule(int index);

  private:
    int pactl(const std::string& args, std::string* out = nullptr) const;

    std::string dir_;
    std::string socket_;
    pid_t pid_ = -1;
};

}  // namespace qv::test
