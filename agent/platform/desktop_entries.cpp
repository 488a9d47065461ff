#include "platform/desktop_entries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace qv {

namespace {

// Unescapes a desktop-file string value (\s \n \t \r \\).
QString unescape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        out += next == 's'   ? QChar(' ')
               : next == 'n' ? QChar('\n')
               : next == 't' ? QChar('\t')
               : next == 'r' ? QChar('\r')
                             : next;
    }
    return out;
}

// The locale keys to try for a translated value, most specific first: ll_CC, ll.
QStringList localeKeys(const QString& locale) {
    QString base = locale.section('.', 0, 0).section('@', 0, 0);
    QStringList keys;
    if (!base.isEmpty()) keys << base;
    if (base.contains('_')) keys << base.section('_', 0, 0);
    return keys;
}

}  // namespace

DesktopEntries::DesktopEntries(QStringList applicationFolders, QString locale)
    : folders_(std::move(applicationFolders)), locale_(std::move(locale)) {}

QStringList DesktopEntries::defaultFolders() {
    const QString home = QDir::homePath();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome)) dataHome = home + "/.local/share";
    QStringList dataDirs;
    for (const QString& d : qEnvironmentVariable("XDG_DATA_DIRS").split(':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(d)) dataDirs << QDir::cleanPath(d);
    if (dataDirs.isEmpty()) dataDirs = {"/usr/local/share", "/usr/share"};
    QStringList bases = {QDir::cleanPath(dataHome)};
    bases += dataDirs;
    for (const QString& flatpak :
         {dataHome + "/flatpak/exports/share", QStringLiteral("/var/lib/flatpak/exports/share")})
        if (!bases.contains(QDir::cleanPath(flatpak))) bases << QDir::cleanPath(flatpak);
    QStringList folders;
    for (const QString& b : bases) folders << b + "/applications";
    folders.removeDuplicates();
    return folders;
}

std::optional<DesktopEntry> DesktopEntries::parse(const QString& path, const QString& id,
                                                  const QString& locale) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return std::nullopt;
    const QStringList keys = localeKeys(locale);
    QHash<QString, QString> values;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            if (inMain) break;  // only the first group is the entry itself
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) continue;
        values.insert(line.left(eq).trimmed(), unescape(line.mid(eq + 1).trimmed()));
    }
    if (values.value("Type") != QLatin1String("Application")) return std::nullopt;
    if (values.value("Hidden") == QLatin1String("true")) return std::nullopt;
    DesktopEntry entry{id, values.value("Name"), values.value("Icon"),
                       values.value("StartupWMClass"), path};
    for (const QString& key : keys) {
        const QString translated = values.value("Name[" + key + "]");
        if (!translated.isEmpty()) {
            entry.name = translated;
            break;
        }
    }
    if (entry.name.isEmpty()) return std::nullopt;
    return entry;
}

void DesktopEntries::refreshIfChanged() {
    std::vector<QDateTime> stamps;
    stamps.reserve(folders_.size());
    for (const QString& folder : folders_) stamps.push_back(QFileInfo(folder).lastModified());
    if (built_ && stamps == stamps_) return;
    stamps_ = std::move(stamps);
    rebuild();
}

void DesktopEntries::rebuild() {
    built_ = true;
    ++builds_;
    byId_.clear();
    idByWmClass_.clear();
    QSet<QString> seen;  // an earlier folder's file decides, even a Hidden one (a deletion)
    for (const QString& folder : folders_) {
        const QDir root(folder);
        QDirIterator it(folder, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // The id is the path below the folder with '/' turned into '-', without ".desktop".
            QString id = root.relativeFilePath(path);
            id.chop(8);
            id.replace('/', '-');
            if (seen.contains(id)) continue;
            seen.insert(id);
            if (auto entry = parse(path, id, locale_)) byId_.insert(id, *entry);
        }
    }
    // A declared StartupWMClass wins over an id that merely reads the same.
    for (const DesktopEntry& e : std::as_const(byId_)) idByWmClass_.insert(e.id.toLower(), e.id);
    for (const DesktopEntry& e : std::as_const(byId_)) {
        if (!e.startupWmClass.isEmpty()) idByWmClass_.insert(e.startupWmClass.toLower(), e.id);
    }
}

quint64 DesktopEntries::revision() {
    refreshIfChanged();
    return builds_;
}

std::optional<DesktopEntry> DesktopEntries::byId(const QString& id) {
    refreshIfChanged();
    QString key = id;
    if (key.endsWith(QLatin1String(".desktop"))) key.chop(8);
    auto it = byId_.constFind(key);
    if (it == byId_.constEnd()) return std::nullopt;
    return *it;
}

std::optional<DesktopEntry> DesktopEntries::byWmClass(const QString& wmClass) {
    refreshIfChanged();
    if (wmClass.isEmpty()) return std::nullopt;
    auto it = idByWmClass_.constFind(wmClass.toLower());
    if (it == idByWmClass_.constEnd()) return std::nullopt;
    return byId_.value(*it);
}

}  // namespace qv
