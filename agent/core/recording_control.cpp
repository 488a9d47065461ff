#include "core/recording_control.h"

namespace qv {

namespace {

constexpr double kStartTimeout = 60.0;
constexpr double kStopTimeout = 120.0;
constexpr double kAlertSeconds = 25.0;
constexpr double kSavedSeconds = 20.0;

// A member of the reply as a string, or nothing when missing or not a string.
std::optional<QString> stringAt(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) return std::nullopt;
    return value.toString();
}

}  // namespace

QJsonObject startBody(const StartOptions& options) {
    QJsonObject body;
    if (options.screen) body.insert(QStringLiteral("screen"), *options.screen);
    if (options.app) body.insert(QStringLiteral("app"), *options.app);
    if (options.event) body.insert(QStringLiteral("event"), *options.event);
    if (options.mode) body.insert(QStringLiteral("mode"), *options.mode);
    return body;
}

RecordingControl::RecordingControl(Services services, Hooks hooks)
    : services_(services), hooks_(std::move(hooks)) {}

void RecordingControl::start(StartOptions options) {
    sendStart(options);
}

void RecordingControl::sendStart(const StartOptions& options) {
    services_.http.send(QStringLiteral("/api/native/start"), QStringLiteral("POST"),
                        startBody(options), kStartTimeout,
                        life_.guard([this, options](int status, const QJsonObject& reply) {
                            startAnswered(options, status, reply);
                        }));
}

void RecordingControl::startAnswered(const StartOptions& options, int status,
                                     const QJsonObject& reply) {
    const QJsonValue meeting = reply.value(QStringLiteral("meeting"));
    if (status == 200 && meeting.isObject()) {
        const std::optional<QString> meetingId = stringAt(meeting.toObject(), QStringLiteral("id"));
        if (hooks_.started) hooks_.started(options.app, meetingId, services_.clock.now());
        const bool open = options.openPage.value_or(!options.app.has_value());
        if (open && meetingId) openWeb(services_.browser, QStringLiteral("#/m/") + *meetingId);
        return;
    }
    if (status == 409 && reply.value(QStringLiteral("needs_mode")) == QJsonValue(true)) {
        const QString title = stringAt(meeting.toObject(), QStringLiteral("title"))
                                  .value_or(QStringLiteral("This meeting"));
        const std::optional<QString> mode = askRecordMode(title);
        if (!mode) return;  // Cancel ends the attempt without a word
        StartOptions again = options;
        again.mode = mode;
        sendStart(again);
        return;
    }
    alert(stringAt(reply, QStringLiteral("error"))
              .value_or(QStringLiteral("Could not start recording.")));
}

void RecordingControl::stop(std::optional<QString> note) {
    services_.http.send(QStringLiteral("/api/native/stop"), QStringLiteral("POST"), QJsonObject{},
                        kStopTimeout,
                        life_.guard([this, note](int status, const QJsonObject& reply) {
                            stopAnswered(note, status, reply);
                        }));
}

void RecordingControl::stopAnswered(const std::optional<QString>& note, int status,
                                    const QJsonObject& reply) {
    // Whatever the outcome the agent counts as stopped; the next status poll corrects it if the
    // backend still records.
    if (hooks_.stopped) hooks_.stopped();
    const std::optional<QString> meeting = stringAt(reply, QStringLiteral("meeting_id"));
    if (status != 200 || !meeting) {
        alert(stringAt(reply, QStringLiteral("error"))
                  .value_or(QStringLiteral("Could not save the recording.")));
        return;
    }
    const bool writing = stringAt(reply, QStringLiteral("run_id")).has_value();
    services_.prompt.show(
        note.value_or(QStringLiteral("Recording saved")),
        writing ? QStringLiteral("The minutes are being written now.")
                : QStringLiteral("Write the minutes whenever you are ready."),
        QStringLiteral("Open meeting"), QStringLiteral("Close"), life_.guard([this, id = *meeting] {
            openWeb(services_.browser, QStringLiteral("#/m/") + id);
        }),
        [] {}, kSavedSeconds);
}

std::optional<QString> RecordingControl::askRecordMode(const QString& title) {
    const Question question{
        .text = QStringLiteral("\u201C") + title + QStringLiteral("\u201D already has a recording"),
        .informative = QStringLiteral(
            "Add the new recording to it, or replace it? The minutes are written again either "
            "way; earlier minutes stay under Versions."),
        .buttons = {QStringLiteral("Add to it"), QStringLiteral("Replace it"),
                    QStringLiteral("Cancel")},
    };
    const std::optional<int> answer = services_.question.ask(question);
    if (answer == 0) return QStringLiteral("append");
    if (answer == 1) return QStringLiteral("replace");
    return std::nullopt;
}

void RecordingControl::alert(const QString& message) {
    services_.prompt.show(
        QStringLiteral("Quorvia"), message, QStringLiteral("Open"), QStringLiteral("Close"),
        life_.guard([this] { openWeb(services_.browser, QString()); }), [] {}, kAlertSeconds);
}

void RecordingControl::shutDown() {
    life_.end();
    services_.prompt.close();
}

}  // namespace qv
