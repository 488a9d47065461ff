#include "platform/pipewire_stream.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "overlay.h"

namespace hc {

namespace {

constexpr int MAX_SIDE = 16384;

std::optional<PixelLayout> layoutOf(spa_video_format format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
            return PixelLayout::BGRx;
        case SPA_VIDEO_FORMAT_BGRA:
            return PixelLayout::BGRA;
        case SPA_VIDEO_FORMAT_RGBx:
            return PixelLayout::RGBx;
        case SPA_VIDEO_FORMAT_RGBA:
            return PixelLayout::RGBA;
        default:
            return std::nullopt;
    }
}

struct LoopLock {
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    pw_thread_loop* loop_;
};

}  // namespace

// Everything the PipeWire callbacks touch. Fields below `loop` are guarded by the loop's lock.
struct PipeWireStream::State {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    spa_hook registryListener{};
    pw_registry_events registryEvents{};
    std::uint32_t node = 0;
    spa_hook coreListener{};
    spa_hook streamListener{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};
    int maxRate = 5;

    std::optional<spa_video_info_raw> format;
    PixelLayout layout = PixelLayout::BGRx;
    std::string failure;            // why the stream cannot go on, once it cannot
    bool connectionFailed = false;  // the failure is the connection's, not the stream's
    pw_buffer* held = nullptr;      // the newest picture, not yet taken
    Ended ended;
    bool endedTold = false;
    std::function<void()> arrived;

    ~State();
    void end(std::string why);
    void returnHeld();
    bool hasPicture(const pw_buffer* b) const;
    std::optional<StreamImage> imageOf(const spa_buffer& buffer) const;
    void announceBuffers();

    static void onCoreError(void* data, uint32_t id, int seq, int res, const char* message);
    static void onGlobalRemoved(void* data, uint32_t id);
    static void onStateChanged(void* data, pw_stream_state old, pw_stream_state state,
                               const char* error);
    static void onParamChanged(void* data, uint32_t id, const spa_pod* param);
    static void onRemoveBuffer(void* data, pw_buffer* buffer);
    static void onProcess(void* data);
};

PipeWireStream::State::~State() {
    if (loop) pw_thread_loop_stop(loop);
    // With the thread stopped and the listeners gone, nothing runs the callbacks any more.
    spa_hook_remove(&streamListener);
    spa_hook_remove(&registryListener);
    spa_hook_remove(&coreListener);
    if (registry) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    if (stream) {
        if (held) pw_stream_queue_buffer(stream, held);
        pw_stream_disconnect(stream);
        pw_stream_destroy(stream);
    }
    if (core) pw_core_disconnect(core);
    if (context) pw_context_destroy(context);
    if (loop) pw_thread_loop_destroy(loop);
}

void PipeWireStream::State::end(std::string why) {
    if (failure.empty()) failure = std::move(why);
    if (ended && !endedTold) {
        endedTold = true;
        ended(failure);
    }
    pw_thread_loop_signal(loop, false);
}

void PipeWireStream::State::returnHeld() {
    if (held) pw_stream_queue_buffer(stream, held);
    held = nullptr;
}

bool PipeWireStream::State::hasPicture(const pw_buffer* b) const {
    const spa_buffer* buffer = b->buffer;
    if (buffer->n_datas < 1 || buffer->datas[0].data == nullptr) return false;
    const spa_chunk* chunk = buffer->datas[0].chunk;
    if (chunk->size == 0 || (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) return false;
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    return header == nullptr || (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) == 0;
}

void PipeWireStream::State::onCoreError(void* data, uint32_t id, int, int res,
                                        const char* message) {
    if (id != PW_ID_CORE) return;
    auto* s = static_cast<State*>(data);
    if (s->failure.empty()) s->connectionFailed = true;
    s->end(res == -EPIPE
               ? std::string("Lost the connection to PipeWire")
               : std::string("PipeWire failed: ") + (message ? message : spa_strerror(res)));
}

// The node we read from is gone: the compositor stopped sharing. (The stream itself only
// falls back to waiting for a node to link to.)
void PipeWireStream::State::onGlobalRemoved(void* data, uint32_t id) {
    auto* s = static_cast<State*>(data);
    if (id == s->node) s->end("Screen sharing was stopped");
}

void PipeWireStream::State::onStateChanged(void* data, pw_stream_state, pw_stream_state state,
                                           const char* error) {
    auto* s = static_cast<State*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
        s->end(std::string("Screen sharing failed: ") + (error ? error : "unknown PipeWire error"));
    } else if (state == PW_STREAM_STATE_UNCONNECTED) {
        s->end("Screen sharing was stopped");
    }
    pw_thread_loop_signal(s->loop, false);
}

void PipeWireStream::State::onParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* s = static_cast<State*>(data);
    if (id != SPA_PARAM_Format || param == nullptr) return;
    uint32_t mediaType = 0, mediaSubtype = 0;
    spa_video_info_raw info{};
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
        spa_format_video_raw_parse(param, &info) < 0)
        return;
    const auto layout = layoutOf(info.format);
    if (!layout || info.size.width == 0 || info.size.height == 0) return;
    s->returnHeld();  // a picture of the old format no longer fits
    s->format = info;
    s->layout = *layout;
    s->announceBuffers();
    pw_thread_loop_signal(s->loop, false);
}

// Shared-memory buffers only: they can always be read without a GPU. At least a whole
// picture each, for producers that size their buffers by what the consumer asks.
void PipeWireStream::State::announceBuffers() {
    uint8_t storage[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const int stride = static_cast<int>(format->size.width) * 4;
    const int size = stride * static_cast<int>(format->size.height);
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(8, 2, 16), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_CHOICE_RANGE_Int(size, size, INT32_MAX),
        SPA_PARAM_BUFFERS_stride, SPA_POD_CHOICE_RANGE_Int(stride, stride, INT32_MAX),
        SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_VideoCrop), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_region))));
    pw_stream_update_params(stream, params, 3);
}

void PipeWireStream::State::onRemoveBuffer(void* data, pw_buffer* buffer) {
    auto* s = static_cast<State*>(data);
    if (s->held == buffer) s->held = nullptr;
}

void PipeWireStream::State::onProcess(void* data) {
    auto* s = static_cast<State*>(data);
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
        if (newest) pw_stream_queue_buffer(s->stream, newest);
        newest = b;
    }
    if (newest == nullptr) return;
    if (!s->hasPicture(newest)) {
        pw_stream_queue_buffer(s->stream, newest);
        return;
    }
    s->returnHeld();
    s->held = newest;
    if (s->arrived) s->arrived();
}

PipeWireStream::PipeWireStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

PipeWireStream::~PipeWireStream() = default;

std::variant<std::unique_ptr<PipeWireStream>, Failure> PipeWireStream::open(
    UniqueFd remote, std::uint32_t node, int maxRate, std::chrono::milliseconds limit) {
    pw_init(nullptr, nullptr);
    auto s = std::make_unique<State>();
    s->maxRate = maxRate;
    s->loop = pw_thread_loop_new("hc-pipewire", nullptr);
    if (!s->loop) return Failure{"Cannot start PipeWire's thread"};
    s->context = pw_context_new(pw_thread_loop_get_loop(s->loop), nullptr, 0);
    if (!s->context) return Failure{"Cannot set up PipeWire: " + std::string(strerror(errno))};
    if (pw_thread_loop_start(s->loop) < 0) return Failure{"Cannot start PipeWire's thread"};

    LoopLock lock(s->loop);
    s->core = pw_context_connect_fd(s->context, remote.release(), nullptr, 0);
    if (!s->core)
        return Failure{"PipeWire refused the screen-sharing connection: " +
                       std::string(strerror(errno))};
    s->coreEvents.version = PW_VERSION_CORE_EVENTS;
    s->coreEvents.error = State::onCoreError;
    pw_core_add_listener(s->core, &s->coreListener, &s->coreEvents, s.get());
    s->node = node;
    s->registry = pw_core_get_registry(s->core, PW_VERSION_REGISTRY, 0);
    if (s->registry) {
        s->registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
        s->registryEvents.global_remove = State::onGlobalRemoved;
        pw_registry_add_listener(s->registry, &s->registryListener, &s->registryEvents, s.get());
    }

    s->stream = pw_stream_new(s->core, "hc-screen",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s->stream)
        return Failure{"Cannot create a PipeWire stream: " + std::string(strerror(errno))};
    s->streamEvents.version = PW_VERSION_STREAM_EVENTS;
    s->streamEvents.state_changed = State::onStateChanged;
    s->streamEvents.param_changed = State::onParamChanged;
    s->streamEvents.remove_buffer = State::onRemoveBuffer;
    s->streamEvents.process = State::onProcess;
    pw_stream_add_listener(s->stream, &s->streamListener, &s->streamEvents, s.get());

    uint8_t storage[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{MAX_SIDE, MAX_SIDE};
    spa_fraction variable{0, 1}, rate{static_cast<uint32_t>(maxRate), 1};
    const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&variable), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &variable, &rate)));
    const int connected = pw_stream_connect(
        s->stream, PW_DIRECTION_INPUT, node,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
        &formats, 1);
    if (connected < 0)
        return Failure{"PipeWire refused the screen stream: " +
                       std::string(spa_strerror(connected))};

    timespec deadline;
    pw_thread_loop_get_time(s->loop, &deadline,
                            std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count());
    while (!s->format && s->failure.empty()) {
        if (pw_thread_loop_timed_wait_full(s->loop, &deadline) != 0) break;
    }
    if (!s->failure.empty() && s->connectionFailed)
        return Failure{"PipeWire refused the screen-sharing connection: " + s->failure};
    if (!s->failure.empty())
        return Failure{
            "PipeWire could not set up the screen stream (hc-screen takes BGRx, BGRA, "
            "RGBx or RGBA pictures in shared memory): " +
            s->failure};
    // A producer with no picture format in common is never linked: nothing fails, nothing comes.
    if (!s->format)
        return Failure{
            "PipeWire agreed on no picture format with the screen's stream within " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
            " seconds (hc-screen takes BGRx, BGRA, RGBx or RGBA pictures in shared memory)"};
    return std::unique_ptr<PipeWireStream>(new PipeWireStream(std::move(s)));
}

bool PipeWireStream::hasPicture() {
    LoopLock lock(state_->loop);
    return state_->held != nullptr && state_->format.has_value();
}

void PipeWireStream::onPicture(std::function<void()> arrived) {
    LoopLock lock(state_->loop);
    state_->arrived = std::move(arrived);
}

bool PipeWireStream::takeNewest(const std::function<void(const StreamImage&)>& use) {
    LoopLock lock(state_->loop);
    State& s = *state_;
    if (s.held == nullptr || !s.format) return false;
    const std::optional<StreamImage> image = s.imageOf(*s.held->buffer);
    if (image) use(*image);
    s.returnHeld();
    return image.has_value();
}

std::optional<StreamImage> PipeWireStream::State::imageOf(const spa_buffer& buffer) const {
    const spa_data& d = buffer.datas[0];
    const long long fullWidth = format->size.width;
    const long long fullHeight = format->size.height;
    const long long stride = d.chunk->stride > 0 ? d.chunk->stride : fullWidth * 4;
    long long start = d.chunk->offset % d.maxsize;
    Rect area{0, 0, static_cast<int>(fullWidth), static_cast<int>(fullHeight)};
    // A producer that sends a part of its picture (a region of the monitor) says so in the
    // crop metadata.
    const auto* crop = static_cast<const spa_meta_region*>(
        spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
    if (crop != nullptr && spa_meta_region_is_valid(crop)) {
        const Rect region{crop->region.position.x, crop->region.position.y,
                          static_cast<int>(crop->region.size.width),
                          static_cast<int>(crop->region.size.height)};
        if (intersect(region, area) == region) area = region;
    }
    start += area.y * stride + area.x * 4LL;
    const long long needed = stride * (area.height - 1) + area.width * 4LL;
    if (stride < area.width * 4LL || start + needed > static_cast<long long>(d.maxsize))
        return std::nullopt;
    return StreamImage{static_cast<const std::uint8_t*>(d.data) + start, area.width, area.height,
                       static_cast<int>(stride), layout};
}

void PipeWireStream::onEnded(Ended ended) {
    LoopLock lock(state_->loop);
    State& s = *state_;
    s.ended = std::move(ended);
    if (!s.failure.empty() && !s.endedTold) {
        s.endedTold = true;
        s.ended(s.failure);
    }
}

int PipeWireStream::width() const {
    LoopLock lock(state_->loop);
    return static_cast<int>(state_->format->size.width);
}

int PipeWireStream::height() const {
    LoopLock lock(state_->loop);
    return static_cast<int>(state_->format->size.height);
}

}  // namespace hc
