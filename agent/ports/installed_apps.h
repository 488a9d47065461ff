// Which applications are installed, as far as their icons go: the platform service behind the
// call services' icons. One adapter per desktop; main thread only.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace qv {

class InstalledApps {
  public:
    virtual ~InstalledApps() = default;
    // The icon of the installed application with this desktop-file id (without ".desktop"):
    // a theme icon name or an absolute path. Nothing when no such application is installed.
    virtual std::optional<QString> iconOf(const QString& desktopId) = 0;
    // The icon of the application that would open `url` (for an https address: the default
    // web browser). Nothing when no application would.
    virtual std::optional<QString> iconOfHandler(const QUrl& url) = 0;
};

}  // namespace qv
