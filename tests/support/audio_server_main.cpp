// audio_server: a private audio server of the kind the tests use (QV_TEST_AUDIO_SERVER picks
// one by hand, see pulse_daemon.h), for benchmarks and checks by hand. Prints "KIND ADDRESS"
// once the server answers (ADDRESS is what PULSE_SERVER takes) and keeps it until terminated;
// exits with 1 when it did not start.
#include <signal.h>

#include <cstdio>

#include "support/pulse_daemon.h"

int main() {
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGHUP);
    sigprocmask(SIG_BLOCK, &ending, nullptr);

    qv::test::PulseDaemon server;
    if (!server.start()) return 1;
    std::printf("%s %s\n",
                server.kind() == qv::test::PulseDaemon::Kind::PipeWire ? "pipewire" : "pulseaudio",
                server.address().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&ending, &signal);
    return 0;  // the server goes with `server`
}
