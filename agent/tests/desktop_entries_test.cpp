// The desktop-entry index over temporary XDG application folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/desktop_entries.h"

using qv::DesktopEntries;

namespace {

class Folders : public testing::Test {
  protected:
    void write(const QString& folder, const QString& relative, const QByteArray& text) {
        const QString path = dir.filePath(folder + "/" + relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QStringList folders() const { return {dir.filePath("user"), dir.filePath("system")}; }
    QTemporaryDir dir;
};

TEST_F(Folders, ReadsNamesIconsAndClassesWithTranslations) {
    write("system", "us.zoom.Zoom.desktop",
          "[Desktop Entry]\nType=Application\nName=Zoom Workplace\nName[de]=Zoom Arbeitsplatz\n"
          "Icon=Zoom\nStartupWMClass=zoom\n[Desktop Action new]\nName=New meeting\n");
    write("system", "kde4/okular.desktop", "[Desktop Entry]\nType=Application\nName=Okular\n");
    DesktopEntries en(folders(), "en_US.UTF-8");
    auto zoom = en.byId("us.zoom.Zoom.desktop");
    ASSERT_TRUE(zoom);
    EXPECT_EQ(zoom->name, "Zoom Workplace");  // the action's Name is not the entry's
    EXPECT_EQ(zoom->icon, "Zoom");
    EXPECT_EQ(en.byWmClass("Zoom")->id, "us.zoom.Zoom");
    EXPECT_EQ(en.byId("kde4-okular")->name, "Okular");  // sub-folders join the id with '-'
    DesktopEntries de(folders(), "de_DE");
    EXPECT_EQ(de.byId("us.zoom.Zoom")->name, "Zoom Arbeitsplatz");
}

TEST_F(Folders, UserEntryHidesTheSystemOneAndHiddenOrOtherTypesAreSkipped) {
    write("system", "slack.desktop", "[Desktop Entry]\nType=Application\nName=Slack\n");
    write("user", "slack.desktop", "[Desktop Entry]\nType=Application\nName=Slack (work)\n");
    write("system", "gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\n");
    write("user", "gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
    write("system", "link.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=https://x\n");
    write("system", "broken.desktop", "Name=No group\n");
    DesktopEntries entries(folders(), "C");
    EXPECT_EQ(entries.byId("slack")->name, "Slack (work)");
    EXPECT_FALSE(entries.byId("gone"));
    EXPECT_FALSE(entries.byId("link"));
    EXPECT_FALSE(entries.byId("broken"));
    EXPECT_FALSE(entries.byWmClass(""));
}

TEST_F(Folders, ClassFallsBackToTheIdAndDeclaredClassesWin) {
    write("system", "firefox-esr.desktop",
          "[Desktop Entry]\nType=Application\nName=Firefox ESR\nStartupWMClass=firefox\n");
    write("system", "firefox.desktop", "[Desktop Entry]\nType=Application\nName=Other Firefox\n");
    write("system", "teams-for-linux.desktop",
          "[Desktop Entry]\nType=Application\nName=Teams for Linux\n");
    DesktopEntries entries(folders(), "C");
    EXPECT_EQ(entries.byWmClass("firefox")->name, "Firefox ESR");
    EXPECT_EQ(entries.byWmClass("Teams-For-Linux")->name, "Teams for Linux");
    EXPECT_FALSE(entries.byWmClass("unknown"));
}

TEST_F(Folders, NewlyInstalledEntriesAreFoundWithoutARestart) {
    write("system", "a.desktop", "[Desktop Entry]\nType=Application\nName=A\n");
    DesktopEntries entries(folders(), "C");
    ASSERT_TRUE(entries.byId("a"));
    EXPECT_FALSE(entries.byId("b"));
    QThread::msleep(20);  // a folder's modification time must be able to move
    write("system", "b.desktop", "[Desktop Entry]\nType=Application\nName=B\n");
    EXPECT_EQ(entries.byId("b")->name, "B");
}

TEST(DesktopEntryFolders, FollowTheXdgVariablesAndAddFlatpakExports) {
    qputenv("XDG_DATA_HOME", "/home/u/.data");
    qputenv("XDG_DATA_DIRS", "/opt/share:relative/share:/usr/share");
    const QStringList folders = DesktopEntries::defaultFolders();
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(folders, (QStringList{"/home/u/.data/applications", "/opt/share/applications",
                                    "/usr/share/applications",
                                    "/home/u/.data/flatpak/exports/share/applications",
                                    "/var/lib/flatpak/exports/share/applications"}));
}

}  // namespace
