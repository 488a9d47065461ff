// The status menu's rows as a dbusmenu layout: the properties of each kind of row, ids that
// stay with their rows across rebuilds, and clicks that reach only rows of the current layout.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "platform/dbus_menu_layout.h"

using namespace qv;
using namespace qv::test;

namespace {

// A node as one line: "---" for separators, else the label, " ^" and the shortcut's chord,
// " (off)" when disabled, " [x]" / " [ ]" for check marks.
std::string describe(const DbusMenuNode& node) {
    const QVariantMap& p = node.properties;
    if (p.value("type") == "separator") return "---";
    std::string line = p.value("label").toString().toStdString();
    if (p.contains("shortcut")) {
        line +=
            " ^" + p.value("shortcut").value<QList<QStringList>>().value(0).join('+').toStdString();
    }
    if (!p.value("enabled", true).toBool()) line += " (off)";
    if (p.value("toggle-type") == "checkmark") {
        line += p.value("toggle-state").toInt() == 1 ? " [x]" : " [ ]";
    }
    return line;
}

std::vector<std::string> describe(const DbusMenuLayout& layout) {
    std::vector<std::string> out;
    for (const DbusMenuNode& child : layout.root().children) out.push_back(describe(child));
    return out;
}

// The App's own menu, as it stands in a given state.
struct MenuWorld : AppWorld {
    FakeStatusItem* item = nullptr;
    std::unique_ptr<App> app;
    MenuWorld() {
        app = std::make_unique<App>(services([this] {
            auto made = std::make_unique<FakeStatusItem>();
            item = made.get();
            return made;
        }));
        app->applicationDidFinishLaunching();
    }
};

TEST(DbusMenuLayout, TheStatusMenuMapsRowByRow) {
    MenuWorld w;
    w.app->statusPoll.state.browserRecording = true;
    w.app->watcher.setDetect(true);
    DbusMenuLayout layout;
    layout.rebuild(w.item->open());
    EXPECT_EQ(describe(layout), (std::vector<std::string>{
                                    "Open Quorvia ^Control+o",
                                    "---",
                                    "Recording in the browser\u2026 ^Control+r (off)",
                                    "---",
                                    "Notice calls and offer to record [x]",
                                    "Open at login [ ]",
                                    "Settings\u2026 ^Control+comma",
                                    "---",
                                    "Quit Quorvia ^Control+q",
                                }));
    // The root says it has children; separators carry nothing but their type.
    EXPECT_EQ(layout.root().id, 0);
    EXPECT_EQ(layout.root().properties.value("children-display"), "submenu");
    EXPECT_EQ(layout.root().children.at(1).properties.size(), 1);
}

TEST(DbusMenuLayout, EachKindOfRowGetsItsProperties) {
    struct Case {
        const char* name;
        MenuRow row;
        QVariantMap properties;
    };
    MenuRow submenu{.title = "More"};
    submenu.submenu.push_back(MenuRow{.title = "Inner"});
    const Case cases[] = {
        {"plain", MenuRow{.title = "Open this meeting"}, {{"label", "Open this meeting"}}},
        {"underscores are not mnemonics", MenuRow{.title = "team_sync"}, {{"label", "team__sync"}}},
        {"two lines read as one",
         MenuRow{.title = "Stand-up", .detail = "10:00 \u2013 10:15", .big = true},
         {{"label", "Stand-up \u00B7 10:00 \u2013 10:15"}}},
        {"indented",
         MenuRow{.title = "Join & record", .indent = 1},
         {{"label", "    Join & record"}}},
        {"header", MenuRow::header("Today"), {{"label", "Today"}, {"enabled", false}}},
        {"check mark off",
         MenuRow{.title = "Open at login", .checked = false},
         {{"label", "Open at login"}, {"toggle-type", "checkmark"}, {"toggle-state", 0}}},
        {"submenu", submenu, {{"label", "More"}, {"children-display", "submenu"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbusMenuProperties(c.row), c.properties) << c.name;
    }
    EXPECT_EQ(dbusMenuProperties(MenuRow{.title = "Stand-up"}, "PNG").value("icon-data"),
              QByteArray("PNG"));
}

TEST(DbusMenuLayout, RowsKeepTheirIdsAcrossRebuildsAndGoneRowsReachNothing) {
    MenuWorld w;
    DbusMenuLayout layout;
    layout.rebuild(w.item->open());
    auto idOf = [&](const QString& label) {
        for (const DbusMenuNode& n : layout.root().children) {
            if (n.properties.value("label") == label) return n.id;
        }
        return -1;
    };
    const int open = idOf("Open Quorvia");
    const int record = idOf("Record a meeting now");
    const int quit = idOf("Quit Quorvia");
    const unsigned revision = layout.revision();

    w.app->statusPoll.state.recording = true;
    layout.rebuild(w.item->open());
    EXPECT_EQ(layout.revision(), revision + 1);
    EXPECT_EQ(idOf("Open Quorvia"), open);
    EXPECT_EQ(idOf("Quit Quorvia"), quit);
    // The recording rows are new: fresh ids, and the idle row's id reaches nothing now.
    const int stop = idOf("Stop recording");
    EXPECT_NE(stop, -1);
    EXPECT_NE(stop, record);
    EXPECT_EQ(layout.find(record), nullptr);
    EXPECT_FALSE(layout.trigger(record));

    // Back to idle: the idle row comes back under a new id, never one handed out before.
    w.app->statusPoll.state.recording = false;
    layout.rebuild(w.item->open());
    EXPECT_NE(idOf("Record a meeting now"), record);
    EXPECT_NE(idOf("Record a meeting now"), stop);
    EXPECT_EQ(idOf("Open Quorvia"), open);
}

TEST(DbusMenuLayout, EqualRowsAreToldApartByTheirPlace) {
    MenuRows rows;
    for (int i = 0; i < 2; ++i) {
        rows.push_back(MenuRow{.title = "Stand-up", .detail = "10:00"});
        rows.push_back(MenuRow::separator());
    }
    DbusMenuLayout layout;
    layout.rebuild(rows);
    std::vector<int> ids;
    for (const DbusMenuNode& n : layout.root().children) ids.push_back(n.id);
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());
    layout.rebuild(rows);
    std::vector<int> again;
    for (const DbusMenuNode& n : layout.root().children) again.push_back(n.id);
    EXPECT_EQ(again, ids);
}

TEST(DbusMenuLayout, OnlyEnabledRowsWithAnActionCanBeChosen) {
    int ran = 0;
    MenuRow submenu{.title = "More", .trigger = [&] { ran += 100; }};
    submenu.submenu.push_back(MenuRow{.title = "Inner", .trigger = [&] { ran += 10; }});
    const MenuRows rows = {
        MenuRow{.title = "Go", .trigger = [&] { ran += 1; }},
        MenuRow{.title = "Off", .enabled = false, .trigger = [&] { ran += 1000; }},
        MenuRow::header("Today"),
        MenuRow::separator(),
        submenu,
    };
    DbusMenuLayout layout;
    layout.rebuild(rows);
    const auto& nodes = layout.root().children;
    for (const DbusMenuNode& n : nodes) {
        if (auto run = layout.trigger(n.id)) run();
    }
    const int inner = nodes.at(4).children.at(0).id;
    ASSERT_TRUE(layout.find(inner));
    layout.trigger(inner)();
    EXPECT_EQ(ran, 11);  // "Go" and the submenu's row, nothing else
    EXPECT_FALSE(layout.trigger(0));
    EXPECT_FALSE(layout.trigger(9999));
}

TEST(DbusMenuLayout, RowIconsBecomeIconDataWhenResolved) {
    QStringList asked;
    DbusMenuLayout layout([&](const QString& name) {
        asked << name;
        return name == "zoom" ? QByteArray("zoom-png") : QByteArray();
    });
    layout.rebuild({MenuRow{.title = "A", .icon = "zoom"}, MenuRow{.title = "B", .icon = "x"},
                    MenuRow{.title = "C"}});
    const auto& nodes = layout.root().children;
    EXPECT_EQ(nodes.at(0).properties.value("icon-data"), QByteArray("zoom-png"));
    EXPECT_FALSE(nodes.at(1).properties.contains("icon-data"));
    EXPECT_EQ(asked, (QStringList{"zoom", "x"}));
}

}  // namespace
