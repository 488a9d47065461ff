#include "calls/call_watcher.h"

#include <QVariant>
#include <algorithm>

namespace qv {

namespace {

constexpr double kTickSeconds = 1.5;
constexpr double kOfferAfter = 3.0;     // continuous use before an offer, strictly more
constexpr double kStopAfter = 20.0;     // absence of the call's application, strictly more
constexpr double kOfferSeconds = 40.0;  // the offer's time-out
const QString kDetectKey = QStringLiteral("detectCalls");

// The names of the applications using the microphone, each once, in the order the audio
// service lists their first process.
QStringList currentNames(const std::function<std::vector<MicUser>()>& users) {
    QStringList names;
    if (!users) return names;
    for (const MicUser& user : users())
        if (!names.contains(user.name)) names.append(user.name);
    return names;
}

}  // namespace

CallWatcher::CallWatcher(Services services, Hooks hooks)
    : services_(std::move(services)), hooks_(std::move(hooks)) {}

void CallWatcher::run() {
    timer_ = services_.scheduler.every(kTickSeconds, [this] { watchMic(); });
}

void CallWatcher::shutDown() {
    life_.end();
    timer_.reset();
}

bool CallWatcher::detect() const {
    const QVariant value = services_.settings.value(kDetectKey);
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    // Text-based settings formats keep a Boolean as the words "true" and "false".
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == QLatin1String("false")) return false;
    }
    return true;
}

void CallWatcher::setDetect(bool on) {
    services_.settings.setValue(kDetectKey, on);
    services_.settings.sync();
}

void CallWatcher::callStarted(const std::optional<QString>& app) {
    triggerApp = app;
    triggerGoneSince.reset();
}

void CallWatcher::callEnded() {
    triggerApp.reset();
}

void CallWatcher::watchMic() {
    const RecordingState& state = services_.state;
    if (state.recording && state.startedAt && hooks_.refreshTitle) hooks_.refreshTitle();

    const QStringList names = currentNames(services_.micUsers);
    const QSet<QString> present(names.begin(), names.end());
    dismissed.intersect(present);
    for (auto it = seenSince.begin(); it != seenSince.end();)
        it = present.contains(it.key()) ? std::next(it) : seenSince.erase(it);
    const double now = services_.clock.now();
    for (const QString& name : names)
        if (!seenSince.contains(name)) seenSince.insert(name, now);

    if (state.recording && triggerApp) {
        followCall(present, now);
        return;
    }
    if (detect()) offerCall(names, now);
}

// A recording started for a call: stops it once the call's application has been away from the
// microphone for long enough; coming back in time keeps it going.
void CallWatcher::followCall(const QSet<QString>& present, double now) {
    if (present.contains(*triggerApp)) {
        triggerGoneSince.reset();
        return;
    }
    if (!triggerGoneSince) {
        triggerGoneSince = now;
        return;
    }
    if (now - *triggerGoneSince <= kStopAfter) return;
    const QString name = *triggerApp;
    triggerApp.reset();
    services_.recording.stop(name + QStringLiteral(" call ended. Recording saved"));
}

// Offers the first application past its grace time that was not offered in this stretch, when
// nothing else holds the user's attention. At most one offer per tick.
void CallWatcher::offerCall(const QStringList& names, double now) {
    const RecordingState& state = services_.state;
    if (!state.setupDone || state.recording || state.browserRecording || services_.prompt.visible())
        return;
    const auto candidate = std::find_if(names.begin(), names.end(), [&](const QString& name) {
        return !dismissed.contains(name) && now - seenSince.value(name, now) > kOfferAfter;
    });
    if (candidate == names.end()) return;
    const QString name = *candidate;
    // Offered once per stretch of use, whatever the answer (or none).
    dismissed.insert(name);
    services_.prompt.show(
        name + QStringLiteral(" is using your microphone"),
        QStringLiteral("Record it? Everyone on the call is captured."),
        QStringLiteral("Record this meeting"), QStringLiteral("Not now"),
        life_.guard([this, name] { services_.recording.start({.app = name}); }), [] {},
        kOfferSeconds);
}

}  // namespace qv
