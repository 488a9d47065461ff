// Recording control: asks the backend to start and stop recordings, asks whether to add to or
// replace a meeting's existing recording, and tells the user the outcome through the prompt.
//
// It keeps no recording state of its own: the answers go out through its hooks (App hands them to
// the status poll, which keeps the recording state, and to the call watcher, which keeps the
// call's application). Owns its requests. Main thread only.
#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>
#include <optional>

#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/http_client.h"
#include "ports/lifetime.h"
#include "ports/prompt.h"
#include "ports/question.h"
#include "ports/recording.h"

namespace qv {

// The start request's body: each key present exactly when its argument is given.
QJsonObject startBody(const StartOptions& options);

class RecordingControl : public RecordingRequests {
  public:
    // All of it outlives this object.
    struct Services {
        HttpClient& http;
        Browser& browser;
        Clock& clock;
        Prompt& prompt;
        QuestionDialog& question;
    };
    // What the answers tell the rest of the agent, before the user is told.
    struct Hooks {
        // A start succeeded: the call's application (none for a start without one), the new
        // meeting's id (none when the answer has no usable one), and the time of the answer.
        std::function<void(const std::optional<QString>& app,
                           const std::optional<QString>& meetingId, double at)>
            started;
        // A stop was answered, whatever the answer: the agent counts as not recording.
        std::function<void()> stopped;
    };

    RecordingControl(Services services, Hooks hooks);
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // Each request returns at once; its answer is handled on the main thread.
    void start(StartOptions options = {}) override;
    void stop(std::optional<QString> note = std::nullopt) override;
    // The add-or-replace question for a meeting that already has a recording: "append",
    // "replace", or nothing for Cancel. Waits for the answer (nested event loop).
    std::optional<QString> askRecordMode(const QString& title);
    // Shows a failure message with a way to the home page.
    void alert(const QString& message);

    // At quit: answers that arrive later change nothing, and the prompt goes.
    void shutDown();

  private:
    void sendStart(const StartOptions& options);
    void startAnswered(const StartOptions& options, int status, const QJsonObject& reply);
    void stopAnswered(const std::optional<QString>& note, int status, const QJsonObject& reply);

    Services services_;
    Hooks hooks_;
    Lifetime life_;
};

}  // namespace qv
