// The status poll: mirrors the backend's recording state into App every 2 s, and does the chores
// that ride on a successful poll (permission file, the backend's requests, listen-address restart).
#include <QJsonValue>

#include "core/app.h"
#include "core/iso8601.h"

namespace qv {

namespace {

bool boolOr(const QJsonObject& reply, const char* key, bool fallback) {
    const QJsonValue v = reply.value(QLatin1String(key));
    return v.isBool() ? v.toBool() : fallback;
}

}  // namespace

void App::refresh(bool first) {
    http(QStringLiteral("/api/native/status"), QStringLiteral("GET"), std::nullopt, 3.0,
         [this, first](int status, const QJsonObject& reply) {
             if (status == 200)
                 applyStatus(reply, first);
             else if (!restarting)
                 server.noticeGone();
         });
}

void App::applyStatus(const QJsonObject& reply, bool first) {
    recording = boolOr(reply, "recording", false);
    browserRecording = boolOr(reply, "browser_recording", false);
    const QJsonValue id = reply.value(QLatin1String("meeting_id"));
    meetingId = id.isString() ? std::optional(id.toString()) : std::nullopt;
    setupDone = boolOr(reply, "setup_done", true);
    const QJsonValue started = reply.value(QLatin1String("started_at"));
    if (!recording) {
        startedAt.reset();
        triggerApp.reset();
    } else if (started.isString()) {
        // An unreadable time never empties a known start: at worst the count starts now.
        if (const auto parsed = parseInternetDateTime(started.toString()))
            startedAt = parsed;
        else if (!startedAt)
            startedAt = services_.clock.now();
    }
    updateButton();
    if (first) openWeb(setupDone ? QString() : QStringLiteral("#/setup"));
    runPollChores();
}

void App::runPollChores() {
    writePermissions();
    const QString data = server.dataDir();
    // A marker is taken before the request it stands for runs; one that cannot be removed
    // comes back at the next poll.
    if (services_.files.take(data + "/ask_recording")) askRecordingPermissions(true);
    if (services_.files.take(data + "/ask_calendar")) {
        services_.foreground.activate();
        askCalendar();
    }
    if (recording || restarting || !server.proc() || server.host() == server.wantedHost()) return;
    // The backend must listen on another address: restart it off the main thread. The poll
    // goes on meanwhile (failing while the backend is down) and starts no second restart.
    restarting = true;
    services_.background.run([this] { server.restartServer(); }, [this] { restarting = false; });
}

}  // namespace qv
