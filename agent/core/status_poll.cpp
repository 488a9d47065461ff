#include "core/status_poll.h"

#include <QJsonValue>

#include "ports/iso8601.h"

namespace qv {

namespace {

constexpr double kPollSeconds = 2.0;
constexpr double kPollTimeout = 3.0;

bool boolOr(const QJsonObject& reply, const char* key, bool fallback) {
    const QJsonValue v = reply.value(QLatin1String(key));
    return v.isBool() ? v.toBool() : fallback;
}

}  // namespace

StatusPoll::StatusPoll(Services services, Hooks hooks)
    : services_(services), hooks_(std::move(hooks)) {}

void StatusPoll::refresh(bool first) {
    services_.http.send(QStringLiteral("/api/native/status"), QStringLiteral("GET"), std::nullopt,
                        kPollTimeout,
                        life_.guard([this, first](int status, const QJsonObject& reply) {
                            if (status == 200)
                                applyStatus(reply, first);
                            else if (!restarting)
                                services_.server.noticeGone();
                        }));
}

void StatusPoll::run() {
    timer_ = services_.scheduler.every(kPollSeconds, [this] { refresh(false); });
}

void StatusPoll::shutDown() {
    life_.end();
    timer_.reset();
}

void StatusPoll::recordingStarted(const std::optional<QString>& meetingId, double at) {
    state.recording = true;
    state.meetingId = meetingId;
    state.startedAt = at;
    if (hooks_.changed) hooks_.changed();
}

void StatusPoll::recordingStopped() {
    state.recording = false;
    if (hooks_.changed) hooks_.changed();
}

void StatusPoll::applyStatus(const QJsonObject& reply, bool first) {
    state.recording = boolOr(reply, "recording", false);
    state.browserRecording = boolOr(reply, "browser_recording", false);
    const QJsonValue id = reply.value(QLatin1String("meeting_id"));
    state.meetingId = id.isString() ? std::optional(id.toString()) : std::nullopt;
    state.setupDone = boolOr(reply, "setup_done", true);
    const QJsonValue started = reply.value(QLatin1String("started_at"));
    if (!state.recording) {
        state.startedAt.reset();
        if (hooks_.notRecording) hooks_.notRecording();
    } else if (started.isString()) {
        // An unreadable time never empties a known start: at worst the count starts now.
        if (const auto parsed = parseInternetDateTime(started.toString()))
            state.startedAt = parsed;
        else if (!state.startedAt)
            state.startedAt = services_.clock.now();
    }
    if (hooks_.changed) hooks_.changed();
    if (first) openWeb(services_.browser, state.setupDone ? QString() : QStringLiteral("#/setup"));
    if (hooks_.answered) hooks_.answered();
    restartIfTheAddressChanged();
}

void StatusPoll::restartIfTheAddressChanged() {
    BackendSupervisor& server = services_.server;
    if (state.recording || restarting || !server.launchedBackend() ||
        server.host() == server.wantedHost())
        return;
    // The backend must listen on another address: restart it off the main thread. The poll
    // goes on meanwhile (failing while the backend is down) and starts no second restart.
    restarting = true;
    services_.background.run([&server] { server.restartServer(); },
                             life_.guard([this] { restarting = false; }));
}

}  // namespace qv
