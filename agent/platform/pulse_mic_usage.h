// MicUsageSource over the agent's one audio-server connection (PulseAudio, or PipeWire's
// PulseAudio service). The audio processes are the capture streams (source outputs). A stream's
// input runs when it is not corked, captures from a real source (not the monitor of an output,
// not an output captured directly: "stream.capture.sink"), is no level meter (resample method
// "peaks", or "stream.monitor" set) and belongs to a client. Its process is the one the kernel
// named when a native PipeWire client connected ("pipewire.sec.pid" of the client, which holds
// for sandboxed processes too), else the process the client says it is
// ("application.process.id") when it runs on this machine. PipeWire's PulseAudio service gives
// its own clients its own process as "pipewire.sec.pid"; that one, recognised on the agent's own
// client, is never taken. Its application identifier is "application.id", else the Flatpak
// application id ("pipewire.access.portal.app_id", else the sandbox's .flatpak-info), else the
// desktop-file id that `desktopIdOf` finds for the process. Each property is read from the
// stream, else from its client.
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

#include "platform/pulse_connection.h"
#include "ports/mic_usage_source.h"

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
    // What a stream's client says of itself.
    struct Client {
        int32_t kernelPid = 0;   // pipewire.sec.pid
        int32_t claimedPid = 0;  // application.process.id, when on this machine
        bool remote = false;     // application.process.host names another machine
        std::string appId;
        std::string flatpakId;
    };
    static Client describe(const pa_client_info& info);
    Stream describe(const pa_source_output_info& info) const;

    // The connection's thread, with its lock held.
    void query(pa_context* c);
    void finishListing(pa_context* c, bool complete);
    void publish(std::vector<Stream> streams, bool newConnection);
    static void sourceListed(pa_context* c, const pa_source_info* info, int eol, void* self);
    static void clientListed(pa_context* c, const pa_client_info* info, int eol, void* self);
    static void outputListed(pa_context* c, const pa_source_output_info* info, int eol, void* self);

    PulseConnection& audio_;
    const DesktopIdOf desktopIdOf_;
    int listener_ = 0;

    // The connection's thread: one listing (sources, then capture streams) at a time; events
    // during one mark it stale, and one more follows.
    PulseOperation pending_;
    bool stale_ = false;
    std::unordered_set<uint32_t> monitors_;
    std::map<uint32_t, Client> clients_;
    uint32_t ownClient_ = PA_INVALID_INDEX;  // the agent's own client, for the service's pid
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
