// The status menu's rows as a QMenu shows them.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

#include "ui/menu_renderer.h"
#include "ui/two_line_menu_item.h"

using namespace qv;

namespace {

MenuRow row(const QString& title, std::function<void()> trigger = {}) {
    MenuRow r;
    r.title = title;
    r.trigger = std::move(trigger);
    return r;
}

// One line per action: "---" for separators, else the text, the shortcut, "(off)" when
// disabled, "[x]" / "[ ]" when checkable, "> n" for a submenu of n actions.
QStringList describe(const QMenu& menu) {
    QStringList out;
    for (QAction* a : menu.actions()) {
        if (a->isSeparator()) {
            out << "---";
            continue;
        }
        QString line = a->text();
        if (!a->shortcut().isEmpty()) line += " " + a->shortcut().toString();
        if (!a->isEnabled()) line += " (off)";
        if (a->isCheckable()) line += a->isChecked() ? " [x]" : " [ ]";
        if (a->menu()) line += QStringLiteral(" > %1").arg(a->menu()->actions().size());
        out << line;
    }
    return out;
}

TEST(MenuRenderer, RowsBecomeActionsWithTheirKeysStatesAndChecks) {
    MenuRows rows;
    MenuRow open = row("Open Quorvia");
    open.key = "o";
    rows.push_back(open);
    rows.push_back(MenuRow::separator());
    MenuRow browser = row("Recording in the browser\u2026");
    browser.key = "r";
    browser.enabled = false;
    rows.push_back(browser);
    MenuRow detect = row("Notice calls and offer to record");
    detect.checked = true;
    rows.push_back(detect);
    MenuRow login = row("Open at login");
    login.checked = false;
    rows.push_back(login);
    MenuRow settings = row("Settings\u2026");
    settings.key = ",";
    rows.push_back(settings);
    rows.push_back(MenuRow::header("Next \u00B7 in 5m"));
    MenuRow indented = row("Join & record");
    indented.indent = 1;
    rows.push_back(indented);

    QMenu menu;
    renderMenu(menu, rows, {});
    EXPECT_EQ(
        describe(menu),
        (QStringList{"Open Quorvia Ctrl+O", "---", "Recording in the browser\u2026 Ctrl+R (off)",
                     "Notice calls and offer to record [x]", "Open at login [ ]",
                     "Settings\u2026 Ctrl+,", "Next \u00B7 in 5m (off)", "    Join && record"}));
}

TEST(MenuRenderer, ChoosingARowOrItsCtrlKeyRunsItsTrigger) {
    QStringList ran;
    MenuRows rows;
    MenuRow quit = row("Quit Quorvia", [&] { ran << "quit"; });
    quit.key = "q";
    rows.push_back(row("Open Quorvia", [&] { ran << "open"; }));
    rows.push_back(quit);
    MenuRow off = row("Off", [&] { ran << "off"; });
    off.key = "f";
    off.enabled = false;
    rows.push_back(off);
    QMenu menu;
    renderMenu(menu, rows, {});

    menu.actions()[0]->trigger();
    EXPECT_EQ(ran, QStringList{"open"});
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_F, Qt::ControlModifier);  // disabled: nothing
    EXPECT_EQ(ran, QStringList{"open"});
    QTest::keyClick(&menu, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ran, (QStringList{"open", "quit"}));
    EXPECT_FALSE(menu.isVisible());
}

TEST(MenuRenderer, RenderingAgainReplacesEverythingAndLeavesNoSubmenusBehind) {
    MenuRows rows;
    MenuRow more = row("More meetings");
    more.submenu = {MenuRow::header("Tomorrow"), row("Retro"), MenuRow::separator(),
                    MenuRow::header("Friday"), row("Planning")};
    rows.push_back(more);
    rows.push_back(row("Quit Quorvia"));
    QMenu menu;
    for (int i = 0; i < 3; ++i) renderMenu(menu, rows, {});
    EXPECT_EQ(describe(menu), (QStringList{"More meetings > 5", "Quit Quorvia"}));
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 1);
    EXPECT_EQ(describe(*menu.actions()[0]->menu()),
              (QStringList{"Tomorrow (off)", "Retro", "---", "Friday (off)", "Planning"}));
}

TEST(MenuRenderer, TwoLineRowsAreWidgetsInPopupsAndOneLineWhenExported) {
    int chosen = 0;
    MenuRow meeting = row("Stand-up & sync", [&] { ++chosen; });
    meeting.detail = "09:30 \u2013 09:45";
    meeting.icon = "zoom";
    int resolved = 0;
    MenuRendering how;
    how.icon = [&](const QString& name) {
        ++resolved;
        EXPECT_EQ(name, "zoom");
        QPixmap p(16, 16);
        p.fill(Qt::blue);
        return QIcon(p);
    };

    QMenu popup;
    renderMenu(popup, {meeting}, how);
    auto* item = qobject_cast<TwoLineMenuItem*>(popup.actions()[0]);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->title(), "Stand-up & sync");
    EXPECT_EQ(item->detail(), "09:30 \u2013 09:45");
    item->trigger();
    EXPECT_EQ(chosen, 1);

    how.exported = true;
    QMenu exported;
    renderMenu(exported, {meeting}, how);
    ASSERT_EQ(qobject_cast<QWidgetAction*>(exported.actions()[0]), nullptr);
    EXPECT_EQ(exported.actions()[0]->text(), "Stand-up && sync \u00B7 09:30 \u2013 09:45");
    EXPECT_FALSE(exported.actions()[0]->icon().isNull());
    EXPECT_EQ(resolved, 2);
}

TEST(MenuRenderer, AClickOnATwoLineRowClosesTheMenuThenChoosesIt) {
    bool menuOpenWhenChosen = true;
    QMenu menu;
    MenuRow meeting = row("Stand-up", [&] { menuOpenWhenChosen = menu.isVisible(); });
    meeting.detail = "09:30 \u2013 09:45";
    renderMenu(menu, {meeting}, {});
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    auto* item = qobject_cast<QWidgetAction*>(menu.actions()[0]);
    ASSERT_NE(item, nullptr);
    QWidget* shown = menu.childAt(menu.actionGeometry(item).center());
    ASSERT_NE(shown, nullptr);
    QTest::mouseClick(shown, Qt::LeftButton);
    EXPECT_FALSE(menuOpenWhenChosen);
    EXPECT_FALSE(menu.isVisible());
}

}  // namespace
