// MicUsageSource over the agent's one audio-server connection (PulseAudio, or PipeWire's
// PulseAudio service). The audio processes are the capture streams (source outputs). A stream's
// input runs when it is not corked, captures from a real source (not the monitor of an output,
// not an output captured directly: "stream.capture.sink"), is no level meter (resample method
// "peaks", or "stream.monitor" set) and belongs to a client. Its process is the client's
// "application.process.id" when the client runs on this machine. Its application identifier is
// "application.id", else the Flatpak application id ("pipewire.access.portal.app_id", else the
// sandbox's .flatpak-info), else the desktop-file id that `desktopIdOf` finds for the process.
//
// Threading: the stream list is kept current on the connection's thread from the server's
// events and handed over under a lock; the MicUsageSource calls run on the main thread and never
// wait for the server. While the server is gone the list is empty.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "calls/mic_usage_source.h"
#include "platform/pulse_connection.h"

namespace qv {

class PulseMicUsage : public MicUsageSource {
  public:
    using DesktopIdOf = std::function<QString(int32_t pid)>;

    // `audio` must outlive this object; `desktopIdOf` is called on the main thread.
    PulseMicUsage(PulseConnection& audio, DesktopIdOf desktopIdOf);
    ~PulseMicUsage() override;
    PulseMicUsage(const PulseMicUsage&) = delete;
    PulseMicUsage& operator=(const PulseMicUsage&) = delete;

    std::vector<AudioProcess> audioProcesses() override;
    QString bundleId(const AudioProcess& process) override;

  private:
    struct Stream {
        uint32_t index = 0;
        bool running = false;
        int32_t pid = 0;
        std::string appId;      // application.id
        std::string flatpakId;  // pipewire.access.portal.app_id
    };
    static Stream describe(const pa_source_output_info& info, bool fromMonitor);

    // The connection's thread, with its lock held.
    void query(pa_context* c);
    void finishListing(pa_context* c, bool complete);
    void publish(std::vector<Stream> streams, bool newConnection);
    static void sourceListed(pa_context* c, const pa_source_info* info, int eol, void* self);
    static void outputListed(pa_context* c, const pa_source_output_info* info, int eol, void* self);

    PulseConnection& audio_;
    const DesktopIdOf desktopIdOf_;
    int listener_ = 0;

    // The connection's thread: one listing (sources, then capture streams) at a time; events
    // during one mark it stale, and one more follows.
    PulseOperation pending_;
    bool stale_ = false;
    std::unordered_set<uint32_t> monitors_;
    std::vector<Stream> listing_;

    // Handed over from the connection's thread to the main thread.
    std::mutex mutex_;
    std::vector<Stream> published_;
    uint64_t connection_ = 0;  // moves with every new or lost connection: indexes start anew

    // The main thread: the streams of the last audioProcesses(), and the identifiers found.
    std::vector<Stream> last_;
    uint64_t lastConnection_ = 0;
    std::map<uint32_t, QString> bundles_;
};

}  // namespace qv
