// The call watcher: every 1.5 s, which applications use the microphone. One that has used it for
// more than 3 s is offered for recording once per stretch of use; a recording started from that
// offer is stopped once its application has left the microphone for more than 20 s.
//
// Owns its bookkeeping (who was seen since when, who was offered), the call's application of the
// current recording, the "detectCalls" setting, its timer and the offers it hands the prompt.
// Main thread only: the timer, the microphone list, the prompt and the answers all run there, so
// nothing needs locking.
#pragma once

#include <QHash>
#include <QSet>
#include <QSettings>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "calls/mic_users.h"
#include "ports/clock.h"
#include "ports/lifetime.h"
#include "ports/prompt.h"
#include "ports/recording.h"

namespace qv {

class CallWatcher {
  public:
    // All of it outlives this object.
    struct Services {
        Clock& clock;
        Scheduler& scheduler;
        Prompt& prompt;
        QSettings& settings;
        RecordingRequests& recording;
        const RecordingState& state;
        // The applications capturing the microphone now; nobody when empty.
        std::function<std::vector<MicUser>()> micUsers;
    };
    struct Hooks {
        // Each pass while recording with a known start (the status item's elapsed time).
        std::function<void()> refreshTitle;
    };

    CallWatcher(Services services, Hooks hooks);
    CallWatcher(const CallWatcher&) = delete;
    CallWatcher& operator=(const CallWatcher&) = delete;

    // One pass.
    void watchMic();
    // A pass every 1.5 s from now on.
    void run();
    // At quit: the timer stops and an offer still on screen starts nothing.
    void shutDown();

    // Whether calls are noticed and offered for recording ("detectCalls", true by default).
    bool detect() const;
    void setDetect(bool on);

    // A recording started: for the call of `app`, or (none) for no call.
    void callStarted(const std::optional<QString>& app);
    // The recording is over as far as the agent knows (a stop was answered, or the backend
    // reports no recording): no call's application is followed any more.
    void callEnded();

    // For each application using the microphone now: when it was first seen in this stretch.
    QHash<QString, double> seenSince;
    // Applications already offered in their current stretch of use.
    QSet<QString> dismissed;
    // The application whose call the current recording was started for.
    std::optional<QString> triggerApp;
    // Since when that application no longer uses the microphone.
    std::optional<double> triggerGoneSince;

  private:
    void followCall(const QSet<QString>& present, double now);
    void offerCall(const QStringList& names, double now);

    Services services_;
    Hooks hooks_;
    std::unique_ptr<Timer> timer_;
    Lifetime life_;
};

}  // namespace qv
