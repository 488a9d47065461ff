// A private audio server speaking the PulseAudio protocol, for one test, of the kind this
// machine has installed: PulseAudio's daemon where `pulseaudio` is installed, else PipeWire
// with its PulseAudio service (pipewire, wireplumber and pipewire-pulse on a private session
// bus). QV_TEST_AUDIO_SERVER=pulseaudio|pipewire picks one by hand. Everything lives in the
// server's own temporary folder (runtime, configuration and state folders, the socket); the
// private PipeWire opens no device of the machine. It starts with one output, "speakers" (so
// one monitor source), and no microphone until the test adds one. No Qt. The test process
// talks to it once PULSE_SERVER names it (use()). Killed when the object goes away.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv::test {

class PulseDaemon {
  public:
    enum class Kind { PulseAudio, PipeWire };
    // The kind the tests use on this machine (see above).
    static Kind installedKind();
    static const char* name(Kind kind);

    explicit PulseDaemon(Kind kind = installedKind());
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    Kind kind() const { return kind_; }
    // Starts the server and waits until it accepts clients; false when it could not (the
    // reason and the server's own log then go to standard error).
    bool start();
    // Ends the server (SIGKILL to each of its processes, as a crash would) and waits for it.
    void stop();
    bool running() const { return !pids_.empty(); }
    // Points this process's audio clients at the server (PULSE_SERVER).
    void use() const;
    // The address clients are given, "unix:" and the socket's path.
    std::string address() const { return "unix:" + socket_; }
    // PipeWire's own socket, for native PipeWire clients (PIPEWIRE_REMOTE); PipeWire only.
    std::string pipewireSocket() const { return dir_ + "/run/pipewire-0"; }

    // Adds a capture source that is not a monitor, named "microphone"; returns its module
    // index, or -1.
    int addMicrophone();
    void removeModule(int index);

  private:
    bool startPulseAudio();
    bool startPipeWire();
    // Starts one process of the server with the server's private environment.
    pid_t spawn(const std::vector<std::string>& argv, const std::string& logName);
    bool waitUntilAnswering();
    void writePrivateConfiguration() const;
    void dumpLogs() const;
    int pactl(const std::string& args, std::string* out = nullptr) const;

    Kind kind_;
    std::string dir_;
    std::string socket_;
    std::string busAddress_;
    std::vector<pid_t> pids_;  // in start order; stopped in reverse
};

}  // namespace qv::test
