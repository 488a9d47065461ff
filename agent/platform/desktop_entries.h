// An index of the desktop entries (*.desktop files) in the XDG application folders: how the
// desktop names, draws and recognises installed applications. Used to name the applications
// that use the microphone and to find the icons of call applications.
//
// Built on first use and rebuilt only when an application folder changed (its modification
// time), so a lookup on every watcher tick stays cheap. Not thread-safe: one thread uses it.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace qv {

struct DesktopEntry {
    QString id;              // desktop-file id without ".desktop", e.g. "org.gnome.Nautilus"
    QString name;            // Name, for the given locale where the entry translates it
    QString icon;            // Icon: a theme icon name or an absolute path; may be empty
    QString startupWmClass;  // StartupWMClass; may be empty
    QString path;            // the file
};

class DesktopEntries {
  public:
    // `applicationFolders` in precedence order (an entry in an earlier folder hides one of the
    // same id in a later folder); `locale` as "ll_CC" (e.g. "de_DE") for translated names.
    DesktopEntries(QStringList applicationFolders, QString locale);

    // The user's folders: $XDG_DATA_HOME, then $XDG_DATA_DIRS, then the Flatpak export
    // folders where they are missing from both, each + "/applications".
    static QStringList defaultFolders();

    // Lookups by desktop-file id (with or without ".desktop"), and by a window's WM_CLASS
    // (StartupWMClass, else the id, compared without regard to case). Entries that are Hidden,
    // not of Type=Application, or that cannot be read are not indexed.
    std::optional<DesktopEntry> byId(const QString& id);
    std::optional<DesktopEntry> byWmClass(const QString& wmClass);
    // Rebuilds the index if a folder changed, and counts the builds: a caller may keep what it
    // derived from the index for as long as this number stays the same.
    quint64 revision();

    // Parses one desktop file's [Desktop Entry] group; nullopt when it is no usable entry.
    static std::optional<DesktopEntry> parse(const QString& path, const QString& id,
                                             const QString& locale);

  private:
    void refreshIfChanged();
    void rebuild();

    QStringList folders_;
    QString locale_;
    std::vector<QDateTime> stamps_;
    bool built_ = false;
    quint64 builds_ = 0;
    QHash<QString, DesktopEntry> byId_;
    QHash<QString, QString> idByWmClass_;  // lower-case StartupWMClass or id -> id
};

}  // namespace qv
