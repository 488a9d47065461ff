// Desktop entries' Icon values as images, and the tray's resolver for the meeting rows' icons.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>

#include "calendar/upcoming_section.h"
#include "support/fake_services.h"
#include "ui/app_icon.h"
#include "ui/service_icons.h"

using namespace qv;

namespace {

// The colour at the centre of an icon drawn at 32 x 32.
QColor centre(const QIcon& icon) {
    return icon.pixmap(32, 32).toImage().pixelColor(16, 16);
}

class IconFolders : public testing::Test {
  protected:
    void SetUp() override {
        savedPaths_ = QIcon::themeSearchPaths();
        savedTheme_ = QIcon::themeName();
        savedDataDirs_ = qgetenv("XDG_DATA_DIRS");
        // A theme folder with one application icon, and an old-style pixmaps folder.
        QDir(dir.path()).mkpath("icons/hicolor/48x48/apps");
        QFile index(dir.filePath("icons/hicolor/index.theme"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(
            "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps\n\n"
            "[48x48/apps]\nSize=48\nType=Fixed\n");
        index.close();
        square(Qt::red, "icons/hicolor/48x48/apps/qv-test-meeting.png");
        QDir(dir.path()).mkpath("pixmaps");
        square(Qt::blue, "pixmaps/qv-test-old.xpm");
        square(Qt::green, "loose.png");
        QIcon::setThemeSearchPaths({dir.filePath("icons")});
        QIcon::setThemeName("hicolor");
        qputenv("XDG_DATA_DIRS", dir.path().toUtf8());
    }
    void TearDown() override {
        QIcon::setThemeSearchPaths(savedPaths_);
        QIcon::setThemeName(savedTheme_);
        qputenv("XDG_DATA_DIRS", savedDataDirs_);
    }
    void square(const QColor& colour, const QString& relative) {
        QImage image(48, 48, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(dir.filePath(relative), relative.endsWith("xpm") ? "XPM" : "PNG"));
    }
    QTemporaryDir dir;

  private:
    QStringList savedPaths_;
    QString savedTheme_;
    QByteArray savedDataDirs_;
};

TEST_F(IconFolders, EntryIconValuesFromPathsTheThemeOrPixmapsElseTheAgentsOwn) {
    const QColor own = centre(applicationIcon());
    const std::pair<QString, QColor> cases[] = {
        {dir.filePath("loose.png"), Qt::green},
        {"qv-test-meeting", Qt::red},
        {"qv-test-meeting.png", Qt::red},  // a name with its extension, as some entries give
        {"qv-test-old", Qt::blue},         // only in the pixmaps folder
        {"qv-test-old.xpm", Qt::blue},
        {"no-such-icon", own},
        {dir.filePath("missing.png"), own},
        {"", own},
    };
    for (const auto& [value, colour] : cases) {
        EXPECT_EQ(centre(iconFromEntryValue(value)), colour) << value.toStdString();
    }
}

TEST_F(IconFolders, TheResolverAnswersOnlyServiceNames) {
    test::FakeInstalledApps apps;
    apps.apps.insert("teams", "qv-test-meeting");
    apps.handlers.insert("https", dir.filePath("loose.png"));
    const auto resolve = serviceIconResolver(apps);
    EXPECT_EQ(centre(resolve(serviceIconName("teams"))), QColor(Qt::red));
    EXPECT_EQ(centre(resolve(serviceIconName("meet"))), QColor(Qt::green));
    EXPECT_EQ(centre(resolve(serviceIconName(""))), centre(applicationIcon()));
    EXPECT_TRUE(resolve("teams").isNull());
}

}  // namespace
