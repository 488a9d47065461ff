// The recording as the subsystems share it: the backend's recording state as the agent last saw
// it, and the requests that start and stop recordings. Main thread only.
#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace qv {

// What a start asks for; every argument is absent unless the caller gives it.
struct StartOptions {
    std::optional<QString> app;        // the name of the application whose call is recorded
    std::optional<QJsonObject> event;  // a calendar event as the backend delivered it
    std::optional<bool> openPage;      // open the meeting's page after a start (default: no app)
    std::optional<bool> screen;        // record the screen too
    std::optional<QString> mode;       // "append" or "replace", after the add-or-replace question
};

// The backend's recording state as the agent last saw it. The status poll owns it: every
// successful poll overwrites it, and the answers to start and stop requests update it at once.
// Everyone else reads it through a const reference.
struct RecordingState {
    bool recording = false;            // the backend is recording
    bool browserRecording = false;     // the backend reports a recording that runs in the browser
    std::optional<QString> meetingId;  // the meeting being recorded
    std::optional<double> startedAt;   // when the current recording started
    bool setupDone = true;             // the backend's first-run setup is complete
};

// Starting and stopping recordings through the backend (recording control). Each request returns
// at once; its answer updates the recording state and tells the user the outcome.
class RecordingRequests {
  public:
    virtual ~RecordingRequests() = default;
    virtual void start(StartOptions options = {}) = 0;
    // `note` becomes the title of the message that reports a saved recording.
    virtual void stop(std::optional<QString> note = std::nullopt) = 0;

    // The status menu's recording rows.
    void startRec() { start(); }
    void startRecScreen() { start({.screen = true}); }
    void stopRec() { stop(); }
};

}  // namespace qv
