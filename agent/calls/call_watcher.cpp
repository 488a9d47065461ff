// The call watcher: every 1.5 s, which applications use the microphone. One that has used it
// for more than 3 s is offered for recording once per stretch of use; a recording started from
// that offer is stopped once its application has left the microphone for more than 20 s.
// Main thread only: the timer, the microphone list, the prompt and the HTTP answers all run
// there, so the fields need no locking.
#include <algorithm>

#include "core/app.h"

namespace qv {

namespace {

constexpr double kOfferAfter = 3.0;     // continuous use before an offer, strictly more
constexpr double kStopAfter = 20.0;     // absence of the call's application, strictly more
constexpr double kOfferSeconds = 40.0;  // the offer's time-out

// The names of the applications using the microphone, each once, in the order the audio
// service lists their first process.
QStringList currentNames(const std::function<std::vector<MicUser>()>& users) {
    QStringList names;
    if (!users) return names;
    for (const MicUser& user : users())
        if (!names.contains(user.name)) names.append(user.name);
    return names;
}

// A recording started for a call: stops it once the call's application has been away from the
// microphone for long enough; coming back in time keeps it going.
void followCall(App& app, const QSet<QString>& present, double now) {
    if (present.contains(*app.triggerApp)) {
        app.triggerGoneSince.reset();
        return;
    }
    if (!app.triggerGoneSince) {
        app.triggerGoneSince = now;
        return;
    }
    if (now - *app.triggerGoneSince <= kStopAfter) return;
    const QString name = *app.triggerApp;
    app.triggerApp.reset();
    app.stop(name + QStringLiteral(" call ended. Recording saved"));
}

// Offers the first application past its grace time that was not offered in this stretch, when
// nothing else holds the user's attention. At most one offer per tick.
void offerCall(App& app, const QStringList& names, double now) {
    if (!app.setupDone || app.recording || app.browserRecording || app.prompt.visible()) return;
    const auto candidate = std::find_if(names.begin(), names.end(), [&](const QString& name) {
        return !app.dismissed.contains(name) && now - app.seenSince.value(name, now) > kOfferAfter;
    });
    if (candidate == names.end()) return;
    const QString name = *candidate;
    // Offered once per stretch of use, whatever the answer (or none).
    app.dismissed.insert(name);
    app.prompt.show(
        name + QStringLiteral(" is using your microphone"),
        QStringLiteral("Record it? Everyone on the call is captured."),
        QStringLiteral("Record this meeting"), QStringLiteral("Not now"),
        [&app, name] { app.start({.app = name}); }, [] {}, kOfferSeconds);
}

}  // namespace

void App::watchMic() {
    if (recording && startedAt) updateButton();

    const QStringList names = currentNames(services_.micUsers);
    const QSet<QString> present(names.begin(), names.end());
    dismissed.intersect(present);
    for (auto it = seenSince.begin(); it != seenSince.end();)
        it = present.contains(it.key()) ? std::next(it) : seenSince.erase(it);
    const double now = services_.clock.now();
    for (const QString& name : names)
        if (!seenSince.contains(name)) seenSince.insert(name, now);

    if (recording && triggerApp) {
        followCall(*this, present, now);
        return;
    }
    if (detect()) offerCall(*this, names, now);
}

}  // namespace qv
