#include "platform/linux_permissions.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include "platform/display_access.h"

namespace qv {

namespace {

// How long a display check stands: the answer changes only when a display server starts or
// ends (some desktops start their X11 server on first use).
constexpr std::chrono::seconds kDisplayCheckLife{30};

}  // namespace

LinuxPermissions::LinuxPermissions(PulseConnection& audio) : audio_(audio) {
    PulseConnection::Listener listener;
    listener.mask = PA_SUBSCRIPTION_MASK_SOURCE;
    listener.ready = [this](pa_context* c) { query(c); };
    listener.event = [this](pa_context* c, pa_subscription_event_type_t, uint32_t) { query(c); };
    listener.lost = [this] {
        // The connection cancelled the request; its callback will not come.
        if (pending_) pa_operation_unref(pending_);
        pending_ = nullptr;
        stale_ = false;
        capture_ = false;
    };
    listener_ = audio_.addListener(std::move(listener));
}

LinuxPermissions::~LinuxPermissions() {
    audio_.removeListener(listener_);  // no new requests from here on
    audio_.withLock([this](pa_context*) {
        // A cancelled request's callback never comes.
        if (pending_) {
            pa_operation_cancel(pending_);
            pa_operation_unref(pending_);
        }
        pending_ = nullptr;
    });
}

// One source listing at a time: events during one mark the answer stale, and one more listing
// follows when it ends.
void LinuxPermissions::query(pa_context* c) {
    if (pending_) {
        stale_ = true;
        return;
    }
    counted_ = 0;
    pending_ = pa_context_get_source_info_list(c, &LinuxPermissions::sourceCallback, this);
}

void LinuxPermissions::sourceCallback(pa_context* c, const pa_source_info* info, int eol,
                                      void* self) {
    auto* p = static_cast<LinuxPermissions*>(self);
    if (eol == 0) {
        if (info && info->monitor_of_sink == PA_INVALID_INDEX) ++p->counted_;
        return;
    }
    if (eol > 0) p->capture_ = p->counted_ > 0;
    pa_operation_unref(p->pending_);
    p->pending_ = nullptr;
    if (p->stale_) {
        p->stale_ = false;
        p->query(c);
    }
}

MicAccess LinuxPermissions::micAccess() {
    return audio_.ready() && capture_ ? MicAccess::Granted : MicAccess::Denied;
}

void LinuxPermissions::requestMicAccess(std::function<void()> answered) {
    // Nothing to ask: the answer is the state as it stands.
    if (answered) QTimer::singleShot(0, QCoreApplication::instance(), std::move(answered));
}

bool LinuxPermissions::screenCaptureAllowed() {
    const auto now = std::chrono::steady_clock::now();
    if (!display_ || now - displayCheckedAt_ > kDisplayCheckLife) {
        display_ = displayOpens();
        displayCheckedAt_ = now;
    }
    return *display_;
}

void LinuxPermissions::openMicSettings() {
    const QStringList command = soundInputSettingsCommand(
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
        [](const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); });
    if (!command.isEmpty()) QProcess::startDetached(command.first(), command.mid(1));
}

QStringList soundInputSettingsCommand(const QString& currentDesktop,
                                      const std::function<bool(const QString&)>& installed) {
    struct Choice {
        QStringList desktops;  // empty: any desktop
        QStringList command;
    };
    static const Choice kChoices[] = {
        {{"GNOME", "Unity", "Budgie"}, {"gnome-control-center", "sound"}},
        {{"KDE"}, {"systemsettings", "kcm_pulseaudio"}},
        {{"KDE"}, {"systemsettings5", "kcm_pulseaudio"}},
        {{}, {"pavucontrol", "--tab=4"}},  // its input devices page
    };
    const QStringList desktops = currentDesktop.split(':', Qt::SkipEmptyParts);
    for (const Choice& choice : kChoices) {
        bool fits = choice.desktops.isEmpty();
        for (const QString& d : desktops)
            fits = fits || choice.desktops.contains(d, Qt::CaseInsensitive);
        if (fits && installed(choice.command.first())) return choice.command;
    }
    return {};
}

}  // namespace qv
