#include "platform/pulse_connection.h"

namespace qv {

namespace {

// Holds the connection's lock for a scope (from threads other than the connection's own).
class LoopLock {
  public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

void forget(pa_operation* op) {
    if (op) pa_operation_unref(op);
}

}  // namespace

void PulseConnection::ContextDeleter::operator()(pa_context* c) const {
    pa_context_set_state_callback(c, nullptr, nullptr);
    pa_context_set_subscribe_callback(c, nullptr, nullptr);
    pa_context_disconnect(c);
    pa_context_unref(c);
}

PulseConnection::PulseConnection(const char* clientName, int retryMs)
    : clientName_(clientName), retryMs_(retryMs), loop_(pa_threaded_mainloop_new()) {
    if (!loop_) return;
    pa_threaded_mainloop_set_name(loop_.get(), "quorvia-pulse");
    LoopLock lock(loop_.get());
    if (pa_threaded_mainloop_start(loop_.get()) < 0) return;
    connect();
}

PulseConnection::~PulseConnection() {
    if (!loop_) return;
    {
        LoopLock lock(loop_.get());
        listeners_.clear();
        if (retry_) pa_threaded_mainloop_get_api(loop_.get())->time_free(retry_);
        retry_ = nullptr;
        context_.reset();
    }
    pa_threaded_mainloop_stop(loop_.get());
}

int PulseConnection::addListener(Listener listener) {
    if (!loop_) return 0;
    LoopLock lock(loop_.get());
    const int id = nextId_++;
    auto& stored = listeners_[id] = std::move(listener);
    if (ready_) {
        subscribe();
        if (stored.ready) stored.ready(context_.get());
    }
    return id;
}

void PulseConnection::removeListener(int id) {
    if (!loop_) return;
    LoopLock lock(loop_.get());
    listeners_.erase(id);
}

void PulseConnection::withLock(const std::function<void(pa_context*)>& fn) {
    if (!loop_) return fn(nullptr);
    LoopLock lock(loop_.get());
    fn(ready_ ? context_.get() : nullptr);
}

// Called with the lock held.
void PulseConnection::connect() {
    context_.reset(pa_context_new(pa_threaded_mainloop_get_api(loop_.get()), clientName_));
    if (!context_) return scheduleRetry();
    pa_context_set_state_callback(context_.get(), &PulseConnection::stateCallback, this);
    pa_context_set_subscribe_callback(context_.get(), &PulseConnection::eventCallback, this);
    // Never start an audio server on the user's behalf: use the one the session has.
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        dropContext();
}

void PulseConnection::dropContext() {
    const bool wasReady = ready_.exchange(false);
    context_.reset();
    if (wasReady)
        for (auto& [id, l] : listeners_)
            if (l.lost) l.lost();
    scheduleRetry();
}

void PulseConnection::scheduleRetry() {
    if (retry_) return;
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(retryMs_) * PA_USEC_PER_MSEC);
    retry_ = pa_threaded_mainloop_get_api(loop_.get())
                 ->time_new(pa_threaded_mainloop_get_api(loop_.get()), &when,
                            &PulseConnection::retryCallback, this);
}

void PulseConnection::subscribe() {
    int mask = PA_SUBSCRIPTION_MASK_NULL;
    for (auto& [id, l] : listeners_) mask |= l.mask;
    forget(pa_context_subscribe(context_.get(), static_cast<pa_subscription_mask_t>(mask), nullptr,
                                nullptr));
}

void PulseConnection::onState() {
    switch (pa_context_get_state(context_.get())) {
        case PA_CONTEXT_READY:
            ready_ = true;
            subscribe();
            for (auto& [id, l] : listeners_)
                if (l.ready) l.ready(context_.get());
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            dropContext();
            break;
        default:
            break;
    }
}

void PulseConnection::stateCallback(pa_context*, void* self) {
    static_cast<PulseConnection*>(self)->onState();
}

void PulseConnection::eventCallback(pa_context* c, pa_subscription_event_type_t t, uint32_t index,
                                    void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    const auto facility = static_cast<unsigned>(t & PA_SUBSCRIPTION_EVENT_FACILITY_MASK);
    for (auto& [id, l] : connection->listeners_)
        if (l.event && (l.mask & (1u << facility))) l.event(c, t, index);
}

void PulseConnection::retryCallback(pa_mainloop_api* api, pa_time_event* e, const struct timeval*,
                                    void* self) {
    auto* connection = static_cast<PulseConnection*>(self);
    api->time_free(e);
    connection->retry_ = nullptr;
    connection->connect();
}

}  // namespace qv
