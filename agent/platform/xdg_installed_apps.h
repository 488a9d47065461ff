// Installed applications the freedesktop.org way: applications by
// their desktop entries (DesktopEntries), the application for a URL by the MIME associations
// for its scheme ("x-scheme-handler/https"), read the way xdg-mime and GIO read them: the
// defaults in the mimeapps.list files, then the added associations, then the desktop
// database's mimeinfo.cache. The files are read on each question: they are few and small, and
// the user may change the default browser at any time. Main thread.
#pragma once

#include <QStringList>

#include "ports/installed_apps.h"

namespace qv {

class DesktopEntries;

class XdgInstalledApps : public InstalledApps {
  public:
    struct Folders {
        QStringList config;        // $XDG_CONFIG_HOME, then $XDG_CONFIG_DIRS, by precedence
        QStringList applications;  // the application folders, by precedence
        QStringList desktops;      // the names in $XDG_CURRENT_DESKTOP, lower case
    };
    // `entries` is borrowed and must outlive this object.
    XdgInstalledApps(DesktopEntries& entries, Folders folders);
    // The user's folders from the environment, with the XDG defaults where it says nothing.
    static Folders defaultFolders();

    // An installed entry without an Icon key gets the generic application icon's name.
    std::optional<QString> iconOf(const QString& desktopId) override;
    std::optional<QString> iconOfHandler(const QUrl& url) override;

    // The desktop-file id of the application that opens `mimeType`; nothing when none does.
    std::optional<QString> handlerOf(const QString& mimeType);

  private:
    QStringList associationFiles() const;

    DesktopEntries& entries_;
    Folders folders_;
};

}  // namespace qv
