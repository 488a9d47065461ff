#include "platform/freedesktop_notifier.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace qv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");
const QString kOpenAction = QStringLiteral("open");

// The "image-data" hint: (iiibiiay) width, height, row stride, alpha, bits per sample,
// channels, RGBA bytes.
QDBusArgument imageData(const QImage& icon) {
    const QImage rgba = icon.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument arg;
    arg.beginStructure();
    arg << rgba.width() << rgba.height() << int(rgba.bytesPerLine()) << true << 8 << 4
        << QByteArray(reinterpret_cast<const char*>(rgba.constBits()), rgba.sizeInBytes());
    arg.endStructure();
    return arg;
}

}  // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus, QString desktopEntry, QImage icon)
    : bus_(std::move(bus)), desktopEntry_(std::move(desktopEntry)), icon_(std::move(icon)) {
    bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                 SLOT(closed(uint, uint)));
}

void FreedesktopNotifier::notify(const DesktopNotification& notification,
                                 std::function<void()> onAction) {
    if (!bus_.isConnected()) return;
    QStringList actions;
    if (!notification.action.isEmpty()) {
        actions << kDefaultAction << notification.action << kOpenAction << notification.action;
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), desktopEntry_);
    if (!icon_.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(imageData(icon_)));

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Quorvia") << uint(0) << QString() << notification.summary
         << notification.body << actions << hints << -1;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, onAction = std::move(onAction),
             withAction = !actions.isEmpty()](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> reply = *done;
                // No notification service: nothing shows, and nothing else depends on it.
                if (!reply.isError() && withAction && onAction) {
                    actions_.insert(reply.value(), onAction);
                }
                done->deleteLater();
            });
}

void FreedesktopNotifier::actionInvoked(uint id, const QString& action) {
    if (action != kDefaultAction && action != kOpenAction) return;
    const std::function<void()> run = actions_.take(id);
    if (run) run();
}

void FreedesktopNotifier::closed(uint id, uint) {
    actions_.remove(id);
}

}  // namespace qv
