// Installed applications and URL handlers over temporary XDG folders, and the call services'
// icons found through them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "calendar/meeting_card.h"
#include "platform/desktop_entries.h"
#include "platform/xdg_installed_apps.h"

using namespace qv;

namespace {

// A user's and the system's folders: config, data applications, and a Flatpak export folder.
class Desktop : public testing::Test {
  protected:
    void write(const QString& relative, const QByteArray& text) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    void app(const QString& folder, const QString& id, const QString& icon) {
        QByteArray text = "[Desktop Entry]\nType=Application\nName=" + id.toUtf8() + "\n";
        if (!icon.isEmpty()) text += "Icon=" + icon.toUtf8() + "\n";
        write(folder + "/" + id + ".desktop", text);
    }
    QStringList applications() const {
        return {dir.filePath("home/applications"), dir.filePath("flatpak/applications"),
                dir.filePath("usr/applications")};
    }
    XdgInstalledApps::Folders folders(QStringList desktops = {}) const {
        return {{dir.filePath("config"), dir.filePath("etc")}, applications(), desktops};
    }
    QTemporaryDir dir;
    DesktopEntries entries{applications(), "C"};
};

TEST_F(Desktop, ServiceIconsFromNativeApplicationsTheBrowserOrNone) {
    app("usr/applications", "teams", "teams");
    app("flatpak/applications", "us.zoom.Zoom", "us.zoom.Zoom");
    app("usr/applications", "Zoom", "/opt/zoom/Zoom.png");
    app("usr/applications", "firefox-esr", "firefox-esr");
    write("config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/https=firefox-esr.desktop\n");
    XdgInstalledApps apps(entries, folders());
    const std::pair<const char*, const char*> cases[] = {
        {"teams", "teams"},        // the oldest client, the only one installed
        {"zoom", "us.zoom.Zoom"},  // the Flatpak before the package
        {"slack", "firefox-esr"},  // not installed: the browser
        {"meet", "firefox-esr"},   // no application of its own
        {"Teams", "firefox-esr"},  // keys are exact
        {"", ""},                  // the agent's own
    };
    for (const auto& [key, icon] : cases) {
        EXPECT_EQ(MeetingCard::serviceIcon(key, apps).toStdString(), icon) << key;
    }
}

TEST_F(Desktop, WithoutABrowserEveryUnknownServiceShowsTheAgentsIcon) {
    app("usr/applications", "slack", "");
    XdgInstalledApps apps(entries, folders());
    EXPECT_EQ(MeetingCard::serviceIcon("slack", apps), "application-x-executable");
    EXPECT_EQ(MeetingCard::serviceIcon("meet", apps), "");
}

TEST_F(Desktop, TheDefaultHandlerFollowsTheAssociationFilesByPrecedence) {
    for (const char* id : {"firefox-esr", "chromium", "epiphany", "vivaldi"}) {
        app("usr/applications", id, QString(id) + "-icon");
    }
    const QString https = "x-scheme-handler/https";
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> files;  // path, contents
        QStringList desktops;
        std::optional<QString> handler;
    };
    const Case cases[] = {
        {"nothing says", {}, {}, std::nullopt},
        {"the user's default",
         {{"config/mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=chromium.desktop\n"},
          {"etc/mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=epiphany.desktop\n"}},
         {},
         "chromium"},
        {"a default not installed gives way to the next one listed",
         {{"config/mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=gone.desktop;vivaldi.desktop;\n"}},
         {},
         "vivaldi"},
        {"the desktop's own file first",
         {{"config/mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=chromium.desktop\n"},
          {"config/xfce-mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=epiphany.desktop\n"}},
         {"xfce"},
         "epiphany"},
        {"a system default below the user's folders",
         {{"usr/applications/mimeapps.list",
           "[Default Applications]\nx-scheme-handler/https=epiphany.desktop\n"}},
         {},
         "epiphany"},
        {"added associations when there is no default",
         {{"etc/mimeapps.list", "[Added Associations]\nx-scheme-handler/https=vivaldi.desktop;\n"}},
         {},
         "vivaldi"},
        {"the desktop database last, without removed associations",
         {{"config/mimeapps.list",
           "[Removed Associations]\nx-scheme-handler/https=firefox-esr.desktop\n"},
          {"usr/applications/mimeinfo.cache",
           "[MIME Cache]\nx-scheme-handler/http=epiphany.desktop;\n"
           "x-scheme-handler/https=firefox-esr.desktop;chromium.desktop;\n"}},
         {},
         "chromium"},
    };
    for (const Case& c : cases) {
        QDir(dir.filePath("config")).removeRecursively();
        QDir(dir.filePath("etc")).removeRecursively();
        QFile::remove(dir.filePath("usr/applications/mimeapps.list"));
        QFile::remove(dir.filePath("usr/applications/mimeinfo.cache"));
        for (const auto& [path, text] : c.files) write(path, text);
        XdgInstalledApps apps(entries, folders(c.desktops));
        EXPECT_EQ(apps.handlerOf(https), c.handler) << c.name;
        EXPECT_EQ(apps.iconOfHandler(QUrl("https://example.com/")),
                  c.handler ? std::optional<QString>(*c.handler + "-icon") : std::nullopt)
            << c.name;
    }
}

// Sets an environment variable for the life of the object, then restores it.
class Env {
  public:
    Env(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~Env() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    void unset() { qunsetenv(name_); }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

TEST_F(Desktop, FoldersComeFromTheEnvironment) {
    Env configHome("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    Env configDirs("XDG_CONFIG_DIRS", (dir.filePath("etc") + ":relative:/etc/xdg/").toUtf8());
    Env desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    const XdgInstalledApps::Folders f = XdgInstalledApps::defaultFolders();
    EXPECT_EQ(f.config, (QStringList{dir.filePath("config"), dir.filePath("etc"), "/etc/xdg"}));
    EXPECT_EQ(f.desktops, (QStringList{"ubuntu", "gnome"}));
    EXPECT_EQ(f.applications, DesktopEntries::defaultFolders());
    configHome.unset();
    configDirs.unset();
    desktop.unset();
    EXPECT_EQ(XdgInstalledApps::defaultFolders().config,
              (QStringList{QDir::homePath() + "/.config", "/etc/xdg"}));
}

}  // namespace
