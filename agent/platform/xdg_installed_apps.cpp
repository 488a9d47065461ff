#include "platform/xdg_installed_apps.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include "platform/desktop_entries.h"

namespace qv {

namespace {

const QString kGenericIcon = QStringLiteral("application-x-executable");

// The groups of a key file that matter here: group -> key -> desktop-file ids (without
// ".desktop").
using Associations = QHash<QString, QHash<QString, QStringList>>;

Associations readAssociations(const QString& path) {
    Associations groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return groups;
    QString group;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || group.isEmpty()) continue;
        QStringList ids;
        for (QString id : line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            id = id.trimmed();
            if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
            if (!id.isEmpty()) ids << id;
        }
        groups[group].insert(line.left(eq).trimmed(), ids);
    }
    return groups;
}

QStringList split(const QString& list) {
    QStringList out;
    for (const QString& part : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(part)) out << QDir::cleanPath(part);
    }
    return out;
}

}  // namespace

XdgInstalledApps::XdgInstalledApps(DesktopEntries& entries, Folders folders)
    : entries_(entries), folders_(std::move(folders)) {}

XdgInstalledApps::Folders XdgInstalledApps::defaultFolders() {
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    QStringList configDirs = split(qEnvironmentVariable("XDG_CONFIG_DIRS"));
    if (configDirs.isEmpty()) configDirs = {QStringLiteral("/etc/xdg")};
    QStringList desktops;
    for (const QString& d : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'))) {
        if (!d.isEmpty()) desktops << d.toLower();
    }
    return {QStringList{QDir::cleanPath(configHome)} + configDirs, DesktopEntries::defaultFolders(),
            desktops};
}

QStringList XdgInstalledApps::associationFiles() const {
    // By precedence: each configuration folder, then each application folder; in each the
    // desktops' own files before the common one.
    QStringList files;
    for (const QStringList* folders : {&folders_.config, &folders_.applications}) {
        for (const QString& folder : *folders) {
            for (const QString& desktop : folders_.desktops) {
                files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
            }
            files << folder + QStringLiteral("/mimeapps.list");
        }
    }
    return files;
}

std::optional<QString> XdgInstalledApps::handlerOf(const QString& mimeType) {
    const auto installed = [this](const QString& id) { return entries_.byId(id).has_value(); };
    std::vector<Associations> files;
    for (const QString& path : associationFiles()) files.push_back(readAssociations(path));

    // A default names the first of its applications that is installed.
    for (const Associations& file : files) {
        for (const QString& id : file.value(QStringLiteral("Default Applications")).value(mimeType))
            if (installed(id)) return id;
    }
    // Otherwise the added associations, without the ones this file or a more important one
    // removed.
    QSet<QString> removed;
    for (const Associations& file : files) {
        for (const QString& id : file.value(QStringLiteral("Removed Associations")).value(mimeType))
            removed.insert(id);
        for (const QString& id : file.value(QStringLiteral("Added Associations")).value(mimeType))
            if (!removed.contains(id) && installed(id)) return id;
    }
    for (const QString& folder : folders_.applications) {
        const Associations cache = readAssociations(folder + QStringLiteral("/mimeinfo.cache"));
        for (const QString& id : cache.value(QStringLiteral("MIME Cache")).value(mimeType))
            if (!removed.contains(id) && installed(id)) return id;
    }
    return std::nullopt;
}

std::optional<QString> XdgInstalledApps::iconOf(const QString& desktopId) {
    const std::optional<DesktopEntry> entry = entries_.byId(desktopId);
    if (!entry) return std::nullopt;
    return entry->icon.isEmpty() ? kGenericIcon : entry->icon;
}

std::optional<QString> XdgInstalledApps::iconOfHandler(const QUrl& url) {
    if (url.scheme().isEmpty()) return std::nullopt;
    const std::optional<QString> id = handlerOf(QStringLiteral("x-scheme-handler/") + url.scheme());
    if (!id) return std::nullopt;
    return iconOf(*id);
}

}  // namespace qv
