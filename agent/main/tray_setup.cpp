#include "main/tray_setup.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSystemTrayIcon>

#include "core/tray_switch.h"
#include "main/constants.h"
#include "main/startup_notes.h"
#include "platform/sni_status_item.h"
#include "ui/app_icon.h"
#include "ui/service_icons.h"
#include "ui/status_icon.h"
#include "ui/tray_status_item.h"

namespace qv {

namespace {

const QString kIconName = QStringLiteral("com.lumaret.quorvia-symbolic");
const QString kRecordingIconName = QStringLiteral("com.lumaret.quorvia-recording-symbolic");
const QString kIconFolder = QStringLiteral("hicolor/symbolic/apps/");

bool iconIn(const QString& iconsFolder) {
    return QFileInfo::exists(iconsFolder + "/" + kIconFolder + kIconName + ".svg");
}

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

}  // namespace

std::optional<QString> trayIconThemePath() {
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (iconIn(dir + "/icons")) return QString();
    }
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/icons");
    if (iconIn(beside)) return beside;
    return std::nullopt;
}

TraySetup::TraySetup(Scheduler& scheduler, WindowHints& hints, InstalledApps& apps)
    : scheduler_(scheduler),
      hints_(hints),
      apps_(apps),
      bus_(QDBusConnection::sessionBus()),
      // The X11 tray is asked for only while no watcher runs, and only on X11.
      hosts_(bus_, [] { return onX11() && QSystemTrayIcon::isSystemTrayAvailable(); }),
      notifier_(bus_, APP_ID, applicationIconPixmap(48, 1.0).toImage()),
      notice_(hosts_, scheduler_, notifier_, once_, [this] {
          if (openHome_) openHome_();
      }) {}

std::unique_ptr<StatusItem> TraySetup::makeStatusItem() {
    // Qt's tray is asked about only while no watcher runs: its first answer decides for the
    // whole process whether its icons go over D-Bus or into the X11 tray.
    const bool hostRunning =
        hosts_.watcherPresent() || (onX11() && QSystemTrayIcon::isSystemTrayAvailable());
    if (const auto note = trayNote(onX11() || bus_.isConnected(), hostRunning)) {
        qWarning().noquote() << *note;
    }
    return std::make_unique<SwitchingStatusItem>(
        hosts_, scheduler_, [this] { return makeNotifierItem(); },
        [this] { return makeEmbeddedItem(); });
}

void TraySetup::armNotice(std::function<void()> openHome) {
    openHome_ = std::move(openHome);
    notice_.arm();
}

std::unique_ptr<StatusItem> TraySetup::makeNotifierItem() {
    // Without the icons installed, hosts draw the pixmaps.
    const std::optional<QString> themePath = trayIconThemePath();
    const bool named = themePath.has_value();
    auto resolve = serviceIconResolver(apps_);
    SniOptions options{
        .id = APP_ID,
        .title = QStringLiteral("Quorvia"),
        .icon =
            [](int side, bool recording) {
                return statusIconImage(qreal(side) / kStatusIconSize, defaultGlyphColour(),
                                       recording);
            },
        .iconName = named ? kIconName : QString(),
        .recordingIconName = named ? kRecordingIconName : QString(),
        .iconThemePath = themePath.value_or(QString()),
        .menuIcon =
            [resolve](const QString& name) {
                const QIcon icon = resolve(name);
                if (icon.isNull()) return QByteArray();
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                icon.pixmap(16, 16).save(&buffer, "PNG");
                return png;
            },
    };
    auto item = std::make_unique<SniStatusItem>(bus_, std::move(options));
    if (!item->exported()) return nullptr;
    return item;
}

std::unique_ptr<StatusItem> TraySetup::makeEmbeddedItem() {
    // Qt docks the icon as soon as an X11 tray appears, so it is made even when none runs yet
    // (an agent started at login may come up before the panel). Elsewhere there is no such tray.
    if (!onX11()) return nullptr;
    auto item = std::make_unique<TrayStatusItem>(hints_);
    item->setIconResolver(serviceIconResolver(apps_));
    return item;
}

}  // namespace qv
