// One long-lived connection to the audio server (PulseAudio, or PipeWire through its PulseAudio
// service), run on libpulse's own thread so the main thread never waits for it. When the server
// is missing or goes away, the connection tries again in the background every few seconds.
//
// Threading: listeners are called on the connection's thread with its lock held; they must not
// block, and may issue libpulse requests on the context they are given. The other members may be
// called from any thread other than the connection's own.
#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

namespace qv {

class PulseConnection {
  public:
    struct Listener {
        // The server events the listener wants (PA_SUBSCRIPTION_MASK_...).
        pa_subscription_mask_t mask = PA_SUBSCRIPTION_MASK_NULL;
        // Connected (again): a good moment to read the current state.
        std::function<void(pa_context*)> ready;
        // One server event of a subscribed kind.
        std::function<void(pa_context*, pa_subscription_event_type_t, uint32_t index)> event;
        // The connection is gone; its pending requests were cancelled and report nothing.
        std::function<void()> lost;
    };

    explicit PulseConnection(const char* clientName = "Quorvia", int retryMs = 2000);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Whether the server answers now.
    bool ready() const { return ready_.load(); }
    // Adds a listener; when connected, its `ready` runs at once (on the calling thread, with the
    // connection's lock held). Returns an id for removeListener.
    int addListener(Listener listener);
    // After this returns, the listener is never called again.
    void removeListener(int id);
    // Runs `fn` with the connection's lock held and the context while connected, else nullptr.
    void withLock(const std::function<void(pa_context*)>& fn);

  private:
    struct LoopDeleter {
        void operator()(pa_threaded_mainloop* m) const { pa_threaded_mainloop_free(m); }
    };
    struct ContextDeleter {
        void operator()(pa_context* c) const;
    };

    void connect();
    void dropContext();
    void scheduleRetry();
    void subscribe();
    void onState();
    static void stateCallback(pa_context* c, void* self);
    static void eventCallback(pa_context* c, pa_subscription_event_type_t t, uint32_t index,
                              void* self);
    static void retryCallback(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv,
                              void* self);

    const char* const clientName_;
    const int retryMs_;
    std::unique_ptr<pa_threaded_mainloop, LoopDeleter> loop_;
    std::unique_ptr<pa_context, ContextDeleter> context_;
    pa_time_event* retry_ = nullptr;  // owned by the loop; freed through its api
    std::map<int, Listener> listeners_;
    int nextId_ = 1;
    std::atomic<bool> ready_{false};
};

// One libpulse request in flight, owned: released when replaced or finished, cancelled (its
// callback then never comes) when dropped while it runs. Used only with the connection's lock
// held, like every libpulse object.
class PulseOperation {
  public:
    PulseOperation() = default;
    ~PulseOperation() { cancel(); }
    PulseOperation(const PulseOperation&) = delete;
    PulseOperation& operator=(const PulseOperation&) = delete;

    // Takes `op` (nullptr when the request could not be made).
    void start(pa_operation* op) {
        release();
        op_ = op;
    }
    bool running() const { return op_ != nullptr; }
    // From the request's own callback, or once the connection has dropped it.
    void release() {
        if (op_) pa_operation_unref(op_);
        op_ = nullptr;
    }
    void cancel() {
        if (op_) pa_operation_cancel(op_);
        release();
    }

  private:
    pa_operation* op_ = nullptr;
};

}  // namespace qv
