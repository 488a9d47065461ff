#include "support/capture_stream.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <thread>

namespace qv::test {

namespace {

// Waits (with the loop's lock held) until `done` holds or about five seconds have passed.
template <typename F>
bool waitLocked(pa_threaded_mainloop* loop, F done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        pa_threaded_mainloop_unlock(loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pa_threaded_mainloop_lock(loop);
    }
    return done();
}

void finished(pa_operation* op, pa_threaded_mainloop* loop) {
    if (!op) return;
    waitLocked(loop, [op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    pa_operation_unref(op);
}

}  // namespace

CaptureStreams::CaptureStreams() {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) return;
    pa_threaded_mainloop_lock(loop_);
    pa_context* c = pa_context_new(pa_threaded_mainloop_get_api(loop_), "qv-capture-test");
    if (c && pa_context_connect(c, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
        waitLocked(loop_,
                   [c] {
                       return !PA_CONTEXT_IS_GOOD(pa_context_get_state(c)) ||
                              pa_context_get_state(c) == PA_CONTEXT_READY;
                   }) &&
        pa_context_get_state(c) == PA_CONTEXT_READY) {
        context_ = c;
    } else if (c) {
        pa_context_unref(c);
    }
    pa_threaded_mainloop_unlock(loop_);
}

CaptureStreams::~CaptureStreams() {
    if (!loop_) return;
    pa_threaded_mainloop_lock(loop_);
    for (auto& [index, s] : streams_) {
        pa_stream_disconnect(s);
        pa_stream_unref(s);
    }
    if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_unlock(loop_);
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

bool CaptureStreams::waitFor(pa_stream* s) {
    return waitLocked(loop_,
                      [s] {
                          return pa_stream_get_state(s) != PA_STREAM_CREATING &&
                                 pa_stream_get_state(s) != PA_STREAM_UNCONNECTED;
                      }) &&
           pa_stream_get_state(s) == PA_STREAM_READY;
}

int CaptureStreams::open(const Options& options) {
    if (!context_) return -1;
    pa_threaded_mainloop_lock(loop_);
    // A level meter asks what desktop volume meters ask (25 peaks a second, as floats); a
    // capture what a call application asks. (PipeWire 0.3.65's PulseAudio service crashes when
    // a level meter's peaks are taken at 16 kHz and the graph changes.)
    const bool meter = options.peakDetect || options.properties.count("stream.monitor");
    const pa_sample_spec spec = meter ? pa_sample_spec{PA_SAMPLE_FLOAT32LE, 25, 1}
                                      : pa_sample_spec{PA_SAMPLE_S16LE, 16000, 1};
    pa_proplist* props = pa_proplist_new();
    for (const auto& [key, value] : options.properties)
        pa_proplist_sets(props, key.c_str(), value.c_str());
    pa_stream* s = pa_stream_new_with_proplist(context_, "capture", &spec, nullptr, props);
    pa_proplist_free(props);
    int flags = PA_STREAM_ADJUST_LATENCY;
    if (options.peakDetect) flags |= PA_STREAM_PEAK_DETECT;
    if (options.corked) flags |= PA_STREAM_START_CORKED;
    int index = -1;
    if (s &&
        pa_stream_connect_record(s, options.device.empty() ? nullptr : options.device.c_str(),
                                 nullptr, static_cast<pa_stream_flags_t>(flags)) >= 0 &&
        waitFor(s)) {
        index = static_cast<int>(pa_stream_get_index(s));
        // Captured data is dropped as it comes.
        pa_stream_set_read_callback(
            s,
            [](pa_stream* st, size_t, void*) {
                const void* data;
                size_t n;
                while (pa_stream_readable_size(st) > 0 && pa_stream_peek(st, &data, &n) == 0) {
                    if (n == 0) break;
                    pa_stream_drop(st);
                }
            },
            nullptr);
        streams_[index] = s;
    } else if (s) {
        pa_stream_unref(s);
    }
    pa_threaded_mainloop_unlock(loop_);
    return index;
}

bool CaptureStreams::cork(int index, bool corked) {
    auto it = streams_.find(index);
    if (it == streams_.end()) return false;
    pa_threaded_mainloop_lock(loop_);
    finished(pa_stream_cork(it->second, corked ? 1 : 0, nullptr, nullptr), loop_);
    pa_threaded_mainloop_unlock(loop_);
    return true;
}

void CaptureStreams::close(int index) {
    auto it = streams_.find(index);
    if (it == streams_.end()) return;
    pa_threaded_mainloop_lock(loop_);
    pa_stream_disconnect(it->second);
    pa_stream_unref(it->second);
    pa_threaded_mainloop_unlock(loop_);
    streams_.erase(it);
}

}  // namespace qv::test
