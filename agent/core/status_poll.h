// The status poll: every 2 s (and once right after start-up) asks the backend for its native
// status and keeps the agent's copy of the backend's recording state, which every other subsystem
// reads; after each successful poll it has the supervisor's chores done (the permission file and
// the backend's requests) and restarts the backend when its listen address has to change.
//
// Owns the recording state, the restart guard, its timer and its requests. Main thread only; the
// restart itself runs on the background queue and touches only the supervisor.
#pragma once

#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "ports/backend_supervisor.h"
#include "ports/browser.h"
#include "ports/clock.h"
#include "ports/http_client.h"
#include "ports/lifetime.h"
#include "ports/recording.h"

namespace qv {

class StatusPoll {
  public:
    // All of it outlives this object.
    struct Services {
        HttpClient& http;
        Browser& browser;
        Clock& clock;
        Scheduler& scheduler;
        BackgroundQueue& background;
        BackendSupervisor& server;
    };
    // What a change of the state means to the rest of the agent.
    struct Hooks {
        // The state has been written (the status item's title follows it).
        std::function<void()> changed;
        // A poll found the backend not recording (a call's application is forgotten).
        std::function<void()> notRecording;
        // After every successful poll, before a restart is considered.
        std::function<void()> answered;
    };

    StatusPoll(Services services, Hooks hooks);
    StatusPoll(const StatusPoll&) = delete;
    StatusPoll& operator=(const StatusPoll&) = delete;

    // Sends one poll and returns at once. `first` is the poll right after start-up: its answer
    // also opens the home page (or the setup page while setup is not done).
    void refresh(bool first = false);
    // Polls every 2 s from now on.
    void run();
    // At quit: the timer stops and answers that arrive later (a poll's, a restart's end) change
    // nothing.
    void shutDown();

    // Recording control's answers, taken over at once; the next successful poll has the last
    // word. A start succeeded: recording since `at`, for `meetingId`.
    void recordingStarted(const std::optional<QString>& meetingId, double at);
    // A stop was answered (successfully or not). The start time and the meeting stay until the
    // next poll.
    void recordingStopped();

    // The backend's recording state as last seen; others read it through a const reference.
    RecordingState state;
    // A listen-address restart is under way.
    bool restarting = false;

  private:
    void applyStatus(const QJsonObject& reply, bool first);
    void restartIfTheAddressChanged();

    Services services_;
    Hooks hooks_;
    std::unique_ptr<Timer> timer_;
    Lifetime life_;
};

}  // namespace qv
