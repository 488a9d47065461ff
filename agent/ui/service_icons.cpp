#include "ui/service_icons.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "calendar/meeting_card.h"
#include "calendar/upcoming_section.h"
#include "ui/app_icon.h"

namespace qv {

namespace {

// Flatpak exports its applications' icons outside the usual data folders when the session
// was not started with them in XDG_DATA_DIRS.
void addFlatpakIconFolders() {
    static bool done = false;
    if (done) return;
    done = true;
    QStringList paths = QIcon::themeSearchPaths();
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const QString& folder : {home + QStringLiteral("/flatpak/exports/share/icons"),
                                  QStringLiteral("/var/lib/flatpak/exports/share/icons")}) {
        if (!paths.contains(folder) && QFileInfo(folder).isDir()) paths << folder;
    }
    QIcon::setThemeSearchPaths(paths);
}

// Older entries name a file in a "pixmaps" folder, with or without its extension.
QIcon fromPixmaps(const QString& name) {
    const QStringList data = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& folder : data) {
        const QDir pixmaps(folder + QStringLiteral("/pixmaps"));
        for (const QString& candidate : {name, name + ".svg", name + ".png", name + ".xpm"}) {
            if (pixmaps.exists(candidate)) return QIcon(pixmaps.filePath(candidate));
        }
    }
    return {};
}

QIcon lookUp(const QString& value) {
    if (value.isEmpty()) return {};
    if (QDir::isAbsolutePath(value)) return QFileInfo(value).isFile() ? QIcon(value) : QIcon();
    addFlatpakIconFolders();
    QString name = value;
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        if (name.endsWith(QLatin1String(extension))) name.chop(4);
    }
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return fromPixmaps(value);
}

}  // namespace

QIcon iconFromEntryValue(const QString& value) {
    const QIcon icon = lookUp(value);
    return icon.isNull() ? applicationIcon() : icon;
}

QIcon serviceIconImage(const QString& service, InstalledApps& apps) {
    return iconFromEntryValue(MeetingCard::serviceIcon(service, apps));
}

std::function<QIcon(const QString& name)> serviceIconResolver(InstalledApps& apps) {
    return [&apps](const QString& name) {
        const std::optional<QString> service = serviceOfIconName(name);
        return service ? serviceIconImage(*service, apps) : QIcon();
    };
}

}  // namespace qv
