// The audio service's capture streams, the agent's view of who records audio input. An
// implementation keeps its list current in the background; reading it never waits for the
// audio server. Main thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace qv {

// One capture stream as the audio service lists it.
struct AudioProcess {
    uint32_t id = 0;            // the service's handle of the stream, for bundleId()
    bool inputRunning = false;  // it captures from a real input now
    int32_t pid = 0;            // the process that captures; 0 when the service does not say
};

class MicUsageSource {
  public:
    virtual ~MicUsageSource() = default;
    // The capture streams in the service's own order; empty while the service is unreachable.
    virtual std::vector<AudioProcess> audioProcesses() = 0;
    // The identifier of the application that a stream from the last audioProcesses() belongs
    // to, with its case as reported; empty when none is known.
    virtual QString bundleId(const AudioProcess& process) = 0;
};

}  // namespace qv
