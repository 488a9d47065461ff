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

// A "More meetings" row whose submenu counts how often it was built.
MenuRow moreMeetings(int& builds, const QString& first = "Retro") {
    MenuRow more = row("More meetings");
    more.submenu = [&builds, first] {
        ++builds;
        return MenuRows{MenuRow::header("Tomorrow"), row(first), MenuRow::separator(),
                        MenuRow::header("Friday"), row("Planning")};
    };
    return more;
}

TEST(MenuRenderer, RenderingAgainReplacesEverythingAndLeavesNoSubmenusBehind) {
    int builds = 0;
    QMenu menu;
    for (const QString& quit : {"Quit", "Quit Quorvia", "Quit Quorvia"})
        renderMenu(menu, {moreMeetings(builds), row(quit)}, {});
    EXPECT_EQ(describe(menu), (QStringList{"More meetings > 0", "Quit Quorvia"}));
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 1);
    renderMenu(menu, {row("Quit Quorvia")}, {});
    EXPECT_EQ(describe(menu), QStringList{"Quit Quorvia"});
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 0);
    EXPECT_EQ(builds, 0);
}

TEST(MenuRenderer, ASubmenusRowsAreBuiltEachTimeItOpensAndNotBefore) {
    int builds = 0;
    QMenu menu;
    renderMenu(menu, {row("Next \u00B7 in 5m"), moreMeetings(builds), row("Quit Quorvia")}, {});
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    EXPECT_EQ(builds, 0);  // the menu is open, its submenu is not

    // Opened from the keyboard, as the pointer would open it.
    QMenu* sub = menu.actions()[1]->menu();
    ASSERT_NE(sub, nullptr);
    menu.setActiveAction(menu.actions()[1]);
    QTest::keyClick(&menu, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(describe(*sub),
              (QStringList{"Tomorrow (off)", "Retro", "---", "Friday (off)", "Planning"}));
    sub->hide();
    sub->popup(QPoint(200, 10));
    EXPECT_EQ(builds, 2);
    menu.hide();
}

TEST(MenuRenderer, WhatLooksTheSameIsKeptAndDoesWhatTheNewRowsDo) {
    QStringList ran;
    auto rows = [&](const QString& tag, const QString& headline, const QString& first) {
        MenuRow meeting = row("Stand-up", [&ran, tag] { ran << "stand-up " + tag; });
        meeting.detail = "09:30 \u2013 09:45";
        MenuRow more = row("More meetings");
        more.submenu = [&ran, tag, first] {
            MenuRow later = row(first, [&ran, tag] { ran << "later " + tag; });
            later.detail = "11:00 \u2013 11:30";
            return MenuRows{MenuRow::header("Tomorrow"), later};
        };
        return MenuRows{MenuRow::header(headline), meeting, more};
    };
    QMenu menu;
    renderMenu(menu, rows("a", "Next \u00B7 in 5m", "Retro"), {});
    QMenu* sub = menu.actions()[2]->menu();
    emit sub->aboutToShow();
    const QList<QAction*> top = menu.actions(), inside = sub->actions();

    // The same look: the same actions, doing what the new rows do.
    renderMenu(menu, rows("b", "Next \u00B7 in 5m", "Retro"), {});
    EXPECT_EQ(menu.actions(), top);
    emit sub->aboutToShow();
    EXPECT_EQ(sub->actions(), inside);
    menu.actions()[1]->trigger();
    sub->actions()[1]->trigger();
    EXPECT_EQ(ran, (QStringList{"stand-up b", "later b"}));

    // A new headline renews the top level only; the submenu keeps its actions while its rows
    // look the same, and renews them when they do not.
    renderMenu(menu, rows("c", "Next \u00B7 in 4m", "Retro"), {});
    EXPECT_NE(menu.actions()[0], top[0]);
    ASSERT_EQ(menu.actions()[2]->menu(), sub);
    emit sub->aboutToShow();
    EXPECT_EQ(sub->actions(), inside);
    sub->actions()[1]->trigger();
    renderMenu(menu, rows("d", "Next \u00B7 in 4m", "Review"), {});
    emit sub->aboutToShow();
    EXPECT_NE(sub->actions()[1], inside[1]);
    auto* later = qobject_cast<TwoLineMenuItem*>(sub->actions()[1]);
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(later->title(), "Review");
    later->trigger();
    EXPECT_EQ(ran, (QStringList{"stand-up b", "later b", "later c", "later d"}));
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

TEST(MenuRenderer, AVeryLongTitleKeepsTheMenuWithinBoundsAndTheTitleWhole) {
    const QString longTitle = QString("Quarterly planning and review ").repeated(300);
    MenuRow meeting = row(longTitle);
    meeting.detail = "09:30 \u2013 09:45";
    MenuRow other = row("Stand-up");
    other.detail = "10:00 \u2013 10:15";
    QMenu menu;
    renderMenu(menu, {meeting, other}, {});
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    auto* item = qobject_cast<TwoLineMenuItem*>(menu.actions()[0]);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->title(), longTitle);  // what the row stands for is not cut
    // The menu is as wide as a sensible title makes it, not as the whole text would.
    EXPECT_LE(menu.width(), 700);
    EXPECT_GT(menu.width(), 100);
    menu.hide();
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
