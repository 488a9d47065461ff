#include "platform/pulse_mic_usage.h"

#include <QByteArray>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/process_identity.h"

namespace qv {

namespace {

const char* property(const pa_proplist* props, const char* key) {
    return props ? pa_proplist_gets(props, key) : nullptr;
}

// A flag property that is present and not written as false.
bool flag(const pa_proplist* props, const char* key) {
    const char* value = property(props, key);
    return value && std::strcmp(value, "false") != 0 && std::strcmp(value, "0") != 0;
}

std::string text(const pa_proplist* props, const char* key) {
    const char* value = property(props, key);
    return value ? value : std::string();
}

int32_t processId(const pa_proplist* props, const char* key) {
    const long pid = std::strtol(text(props, key).c_str(), nullptr, 10);
    return pid > 0 && pid <= INT32_MAX ? static_cast<int32_t>(pid) : 0;
}

bool remoteHost(const pa_proplist* props) {
    const char* host = property(props, "application.process.host");
    return host && !isThisMachine(QByteArray(host));
}

}  // namespace

PulseMicUsage::PulseMicUsage(PulseConnection& audio, DesktopIdOf desktopIdOf)
    : audio_(audio), desktopIdOf_(std::move(desktopIdOf)) {
    PulseConnection::Listener listener;
    listener.mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT |
                                                        PA_SUBSCRIPTION_MASK_SOURCE);
    listener.ready = [this](pa_context* c) {
        publish({}, true);
        query(c);
    };
    listener.event = [this](pa_context* c, pa_subscription_event_type_t, uint32_t) { query(c); };
    listener.lost = [this] {
        pending_.release();  // the connection cancelled it: its callback will not come
        stale_ = false;
        publish({}, true);
    };
    listener_ = audio_.addListener(std::move(listener));
}

PulseMicUsage::~PulseMicUsage() {
    audio_.removeListener(listener_);  // no new requests from here on
    audio_.withLock([this](pa_context*) { pending_.cancel(); });
}

PulseMicUsage::Client PulseMicUsage::describe(const pa_client_info& info) {
    const pa_proplist* props = info.proplist;
    Client client;
    client.kernelPid = processId(props, "pipewire.sec.pid");
    client.remote = remoteHost(props);
    if (!client.remote) client.claimedPid = processId(props, "application.process.id");
    client.appId = text(props, "application.id");
    client.flatpakId = text(props, "pipewire.access.portal.app_id");
    return client;
}

PulseMicUsage::Stream PulseMicUsage::describe(const pa_source_output_info& info) const {
    const pa_proplist* props = info.proplist;
    const auto found = clients_.find(info.client);
    const Client client = found != clients_.end() ? found->second : Client{};
    const auto own = clients_.find(ownClient_);
    const int32_t servicePid = own != clients_.end() ? own->second.kernelPid : 0;

    Stream stream;
    stream.index = info.index;
    const bool meter = (info.resample_method && std::strcmp(info.resample_method, "peaks") == 0) ||
                       flag(props, "stream.monitor");
    stream.running = !info.corked && info.client != PA_INVALID_INDEX &&
                     !monitors_.count(info.source) && !flag(props, "stream.capture.sink") && !meter;
    if (client.kernelPid > 0 && client.kernelPid != servicePid) {
        stream.pid = client.kernelPid;
    } else if (!remoteHost(props) && !client.remote) {
        stream.pid = processId(props, "application.process.id");
        if (stream.pid == 0) stream.pid = client.claimedPid;
    }
    stream.appId = text(props, "application.id");
    if (stream.appId.empty()) stream.appId = client.appId;
    stream.flatpakId = text(props, "pipewire.access.portal.app_id");
    if (stream.flatpakId.empty()) stream.flatpakId = client.flatpakId;
    return stream;
}

void PulseMicUsage::query(pa_context* c) {
    if (pending_.running()) {
        stale_ = true;
        return;
    }
    monitors_.clear();
    clients_.clear();
    ownClient_ = pa_context_get_index(c);
    listing_.clear();
    pending_.start(pa_context_get_source_info_list(c, &PulseMicUsage::sourceListed, this));
}

void PulseMicUsage::sourceListed(pa_context* c, const pa_source_info* info, int eol, void* self) {
    auto* usage = static_cast<PulseMicUsage*>(self);
    if (eol == 0) {
        if (info && info->monitor_of_sink != PA_INVALID_INDEX) usage->monitors_.insert(info->index);
        return;
    }
    if (eol < 0) return usage->finishListing(c, false);
    usage->pending_.start(pa_context_get_client_info_list(c, &PulseMicUsage::clientListed, usage));
    if (!usage->pending_.running()) usage->finishListing(c, false);
}

void PulseMicUsage::clientListed(pa_context* c, const pa_client_info* info, int eol, void* self) {
    auto* usage = static_cast<PulseMicUsage*>(self);
    if (eol == 0) {
        if (info) usage->clients_[info->index] = describe(*info);
        return;
    }
    if (eol < 0) return usage->finishListing(c, false);
    usage->pending_.start(
        pa_context_get_source_output_info_list(c, &PulseMicUsage::outputListed, usage));
    if (!usage->pending_.running()) usage->finishListing(c, false);
}

void PulseMicUsage::outputListed(pa_context* c, const pa_source_output_info* info, int eol,
                                 void* self) {
    auto* usage = static_cast<PulseMicUsage*>(self);
    if (eol == 0) {
        if (info) usage->listing_.push_back(usage->describe(*info));
        return;
    }
    usage->finishListing(c, eol > 0);
}

void PulseMicUsage::finishListing(pa_context* c, bool complete) {
    pending_.release();
    if (complete) publish(std::move(listing_), false);
    listing_.clear();
    if (stale_) {
        stale_ = false;
        query(c);
    }
}

void PulseMicUsage::publish(std::vector<Stream> streams, bool newConnection) {
    if (!newConnection) ++listings_;
    bool differs;
    {
        std::lock_guard lock(mutex_);
        differs = streams != published_;
        published_ = std::move(streams);
        if (newConnection) ++connection_;
    }
    if (!differs) return;
    QMetaObject::invokeMethod(
        &posts_,
        [this] {
            if (changed_) changed_();
        },
        Qt::QueuedConnection);
}

bool PulseMicUsage::notifyChanges(std::function<void()> changed) {
    changed_ = std::move(changed);
    return true;
}

std::vector<AudioProcess> PulseMicUsage::audioProcesses() {
    {
        std::lock_guard lock(mutex_);
        last_ = published_;
        if (lastConnection_ != connection_) bundles_.clear();
        lastConnection_ = connection_;
    }
    std::vector<AudioProcess> processes;
    processes.reserve(last_.size());
    for (const Stream& s : last_) processes.push_back({s.index, s.running, s.pid});
    // Forget the identifiers of streams that have ended.
    std::erase_if(bundles_, [&](const auto& entry) {
        return std::none_of(last_.begin(), last_.end(),
                            [&](const Stream& s) { return s.index == entry.first; });
    });
    return processes;
}

QString PulseMicUsage::bundleId(const AudioProcess& process) {
    if (auto found = bundles_.find(process.id); found != bundles_.end()) return found->second;
    const auto stream = std::find_if(last_.begin(), last_.end(),
                                     [&](const Stream& s) { return s.index == process.id; });
    if (stream == last_.end()) return {};
    QString bundle = QString::fromStdString(stream->appId);
    if (bundle.isEmpty()) bundle = QString::fromStdString(stream->flatpakId);
    if (bundle.isEmpty()) bundle = flatpakAppId(stream->pid);
    if (bundle.isEmpty() && desktopIdOf_) bundle = desktopIdOf_(stream->pid);
    // A stream keeps its process and its properties for life.
    bundles_.emplace(process.id, bundle);
    return bundle;
}

}  // namespace qv
