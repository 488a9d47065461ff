// Bringing the agent forward: its visible windows come to the front and one gets the focus;
// hidden windows stay hidden and menus are left alone.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWindow>

#include "platform/window_foreground.h"
#include "support/qt_wait.h"

using qv::WindowForeground;
using qv::test::waitFor;

namespace {

TEST(WindowForeground, ActivatesAVisiblePanelAndShowsNothingHidden) {
    QWindow panel;
    panel.show();
    QWindow hidden;
    QWindow menu;
    menu.setFlags(Qt::Popup);
    QWindow other;  // stands for another window that has the focus now
    other.show();
    other.requestActivate();
    ASSERT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == &other; }));
    other.hide();
    qv::test::spin(100);
    ASSERT_NE(QGuiApplication::focusWindow(), &panel);

    WindowForeground().activate();
    EXPECT_TRUE(waitFor([&] { return QGuiApplication::focusWindow() == &panel; }));
    EXPECT_FALSE(hidden.isVisible());
    EXPECT_FALSE(menu.isVisible());
}

TEST(WindowForeground, WithoutWindowsNothingHappens) {
    WindowForeground().activate();
    EXPECT_EQ(QGuiApplication::focusWindow(), nullptr);
    EXPECT_TRUE(QGuiApplication::topLevelWindows().isEmpty());
}

}  // namespace
