#include "supervisor/permission_requests.h"

namespace qv {

namespace {

const QString kAskedScreenKey = QStringLiteral("askedScreen");

QString micWord(MicAccess access) {
    switch (access) {
        case MicAccess::Granted:
            return QStringLiteral("granted");
        case MicAccess::Denied:
        case MicAccess::Restricted:
            return QStringLiteral("denied");
        case MicAccess::NotDetermined:
            break;
    }
    return QStringLiteral("not_asked");
}

// The one form the backend parses: one line, no line end, one space after each separator.
QByteArray permissionText(MicAccess mic, bool screen) {
    return QStringLiteral("{\"mic\": \"%1\", \"screen\": %2}")
        .arg(micWord(mic), screen ? QStringLiteral("true") : QStringLiteral("false"))
        .toUtf8();
}

}  // namespace

PermissionRequests::PermissionRequests(Services services) : services_(std::move(services)) {}

void PermissionRequests::askMicrophoneAtLaunch() {
    if (services_.permissions.micAccess() == MicAccess::NotDetermined) {
        services_.permissions.requestMicAccess([] {});
    }
}

void PermissionRequests::handshake() {
    writePermissions();
    const QString data = services_.dataDir();
    // A marker is taken before the request it stands for runs; one that cannot be removed
    // comes back at the next poll.
    if (services_.files.take(data + "/ask_recording")) askRecordingPermissions(true);
    if (services_.files.take(data + "/ask_calendar")) {
        services_.foreground.activate();
        askCalendar();
    }
}

void PermissionRequests::shutDown() {
    life_.end();
}

void PermissionRequests::writePermissions() {
    const QByteArray text = permissionText(services_.permissions.micAccess(),
                                           services_.permissions.screenCaptureAllowed());
    // A complete new file replaces the old one, so the backend never reads half a file.
    services_.files.replace(services_.dataDir() + "/permissions.json", text);
}

void PermissionRequests::askRecordingPermissions(bool openSettings) {
    services_.foreground.activate();
    switch (services_.permissions.micAccess()) {
        case MicAccess::NotDetermined:
            services_.permissions.requestMicAccess(life_.guard([this] { writePermissions(); }));
            break;
        case MicAccess::Denied:
        case MicAccess::Restricted:
            if (openSettings) services_.permissions.openMicSettings();
            break;
        case MicAccess::Granted:
            break;
    }
    if (services_.permissions.screenCaptureAllowed()) return;
    if (services_.settings.value(kAskedScreenKey).toBool()) return;
    // Recorded before asking, so that a request that never comes back is not repeated.
    services_.settings.setValue(kAskedScreenKey, true);
    services_.settings.sync();
    services_.permissions.requestScreenCapture();
}

void PermissionRequests::askCalendar() {
    if (services_.eventStore.undetermined()) services_.eventStore.requestFullAccess();
}

}  // namespace qv
