// The tray entry: its tooltip and icon follow the recording title, its menu is rebuilt from the
// source each time it opens.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>

#include "ui/tray_status_item.h"
#include "ui/window_hints.h"

using namespace qv;

namespace {

TEST(TrayStatusItem, TheTitleShowsInTheTooltipAndMarksTheIcon) {
    NullWindowHints hints;
    TrayStatusItem item(hints);
    EXPECT_EQ(item.tray().toolTip(), "Quorvia");
    const QImage idle = item.tray().icon().pixmap(18, 18).toImage();

    item.setTitle("0:05");
    EXPECT_EQ(item.tray().toolTip(), "Quorvia \u25CF 0:05");
    const QImage recording = item.tray().icon().pixmap(18, 18).toImage();
    EXPECT_NE(idle, recording);
    item.setTitle("0:06");
    EXPECT_EQ(item.tray().toolTip(), "Quorvia \u25CF 0:06");

    item.setTitle("");
    EXPECT_EQ(item.tray().toolTip(), "Quorvia");
    EXPECT_EQ(item.tray().icon().pixmap(18, 18).toImage(), idle);
}

TEST(TrayStatusItem, EachOpeningOfTheMenuAsksForFreshRows) {
    NullWindowHints hints;
    TrayStatusItem item(hints);
    int opened = 0;
    item.setMenuSource([&] {
        ++opened;
        MenuRow row;
        row.title = QStringLiteral("Opened %1").arg(opened);
        return MenuRows{row};
    });
    for (int i = 1; i <= 2; ++i) {
        item.menu().popup(QPoint(5, 5));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&item.menu()));
        ASSERT_EQ(item.menu().actions().size(), 1);
        EXPECT_EQ(item.menu().actions()[0]->text(), QStringLiteral("Opened %1").arg(i));
        item.menu().hide();
    }
}

TEST(TrayStatusItem, RowIconsComeFromTheResolverItIsGiven) {
    NullWindowHints hints;
    TrayStatusItem item(hints);
    QStringList asked;
    item.setIconResolver([&](const QString& name) {
        asked << name;
        QPixmap p(16, 16);
        p.fill(Qt::red);
        return QIcon(p);
    });
    item.setMenuSource([] {
        MenuRow zoom, plain;
        zoom.title = "Stand-up";
        zoom.icon = "zoom";
        plain.title = "Open Quorvia";
        return MenuRows{zoom, plain};
    });
    item.menu().popup(QPoint(5, 5));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&item.menu()));
    EXPECT_EQ(asked, QStringList{"zoom"});
    EXPECT_FALSE(item.menu().actions()[0]->icon().isNull());
    EXPECT_TRUE(item.menu().actions()[1]->icon().isNull());
    item.menu().hide();
}

}  // namespace
