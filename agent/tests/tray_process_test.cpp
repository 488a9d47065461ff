// The real agent's tray on a private X server and a private session bus: its own
// StatusNotifierItem as a panel sees it (registration, menu, the elapsed time ticking as the
// label while recording and clearing after "Stop recording" chosen through the menu,
// registration again after the panel restarts), the embedded X11 icon where only an X11 tray
// runs, and the notice where no tray runs at all, once per login.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <memory>

#include "main/constants.h"
#include "support/agent_process.h"
#include "support/fake_notifications.h"
#include "support/port_lock.h"
#include "support/session_bus.h"
#include "support/sni_watcher.h"
#include "support/stand_in_backend.h"
#include "support/xembed_tray.h"
#include "support/xvfb.h"

using namespace qv::test;

namespace {

// A desktop for the agent: an X server, a session bus with a notification service, and the
// stand-in backend on the agent's port.
struct Desktop {
    PortLock port;
    Xvfb x{1280, 800};
    SessionBus bus;
    QString prefix = QStringLiteral("tray-process-%1-").arg(quintptr(this));
    FakeNotifications notifications{bus.connect(prefix + "notifications")};
    StandInBackend backend{qv::PORT};
    int panels = 0;

    ~Desktop() {
        SessionBus::disconnect(prefix + "notifications");
        SessionBus::disconnect(prefix + "client");
        for (int i = 1; i <= panels; ++i) SessionBus::disconnect(panelName(i));
    }
    bool ready() const {
        return x.running() && bus.running() && notifications.claimed() && backend.ready();
    }
    void placeAgent(AgentWorld& world) const {
        world.variables.insert("DISPLAY", QString::fromStdString(x.display()));
        world.variables.insert("QT_QPA_PLATFORM", "xcb");
        world.variables.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    }
    QString panelName(int i) const { return prefix + "panel-" + QString::number(i); }
    // A panel with a StatusNotifierWatcher, on a connection of its own.
    std::unique_ptr<SniWatcher> startPanel() {
        return std::make_unique<SniWatcher>(bus.connect(panelName(++panels)));
    }
    // The panel exits: its connection, and with it the watcher's name, go away.
    void stopPanel(std::unique_ptr<SniWatcher>& panel) {
        panel.reset();
        SessionBus::disconnect(panelName(panels));
    }
    QDBusConnection client() { return bus.connect(prefix + "client"); }
};

TEST(TrayProcess, TheItemServesItsMenuAndTheLabelTicksWhileRecording) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready());
    auto panel = desktop.startPanel();
    ASSERT_TRUE(panel->claimed());
    AgentWorld world;
    desktop.placeAgent(world);
    AgentProcess agent(world);

    ASSERT_TRUE(waitFor([&] { return !panel->items.isEmpty(); }, 30000));
    SniItemClient item(desktop.client(), panel->items.first());
    EXPECT_EQ(item.property("ItemIsMenu"), true);
    EXPECT_EQ(item.property("Title"), "Quorvia");
    EXPECT_EQ(item.property("IconName"), "com.lumaret.quorvia-symbolic");
    // Run from the build tree, the icons are found beside the program.
    EXPECT_TRUE(item.property("IconThemePath").toString().endsWith("/stage/share/icons"));
    // The glyph at the panel sizes: at 48 pixels, a hole of the top row is clear, the square
    // around it solid (alpha is each pixel's first byte).
    const QList<Pixmap> pixmaps = item.iconPixmap();
    ASSERT_EQ(pixmaps.size(), 5);
    const Pixmap& large = pixmaps.last();
    ASSERT_EQ(large.width, 48);
    const auto alphaAt = [&](double x, double y) {
        const int px = int(x * 48 / 18), py = int(y * 48 / 18);
        return uchar(large.bytes.at((py * large.width + px) * 4));
    };
    EXPECT_EQ(alphaAt(9, 7), 0);      // the middle hole of the top row
    EXPECT_EQ(alphaAt(3, 3), 255);    // the square's upper-left part
    EXPECT_EQ(alphaAt(0.2, 0.2), 0);  // outside the rounded corner

    ASSERT_TRUE(item.aboutToShow());
    MenuEntry menu = item.layout();
    EXPECT_EQ(menu.childLabels(), (QStringList{"Open Quorvia", "---", "Record a meeting now",
                                               "Record a meeting with the screen", "---",
                                               "Notice calls and offer to record", "Open at login",
                                               "Settings\u2026", "---", "Quit Quorvia"}));
    EXPECT_EQ(menu.find("Notice calls and offer to record")->properties.value("toggle-state"), 1);

    EXPECT_EQ(item.click(menu.idOf("Record a meeting now")), "");
    // The label shows the elapsed time and moves on with the agent's passes.
    ASSERT_TRUE(waitFor([&] { return item.distinctTimes() >= 2; }, 30000))
        << item.labels.join('|').toStdString();
    EXPECT_TRUE(item.labels.last().startsWith(" \u25CF 0:")) << item.labels.last().toStdString();
    EXPECT_EQ(item.property("IconName"), "com.lumaret.quorvia-recording-symbolic");

    ASSERT_TRUE(item.aboutToShow());
    menu = item.layout();
    ASSERT_NE(menu.idOf("Stop recording"), -1) << menu.childLabels().join('|').toStdString();
    EXPECT_EQ(item.click(menu.idOf("Stop recording")), "");
    ASSERT_TRUE(waitFor([&] { return item.labels.last().isEmpty(); }, 30000));
    EXPECT_EQ(item.property("XAyatanaLabel"), "");
    ASSERT_TRUE(item.aboutToShow());
    EXPECT_NE(item.layout().idOf("Record a meeting now"), -1);
}

TEST(TrayProcess, APanelThatRestartsGetsTheItemAgain) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready());
    auto panel = desktop.startPanel();
    AgentWorld world;
    desktop.placeAgent(world);
    AgentProcess agent(world);
    ASSERT_TRUE(waitFor([&] { return !panel->items.isEmpty(); }, 30000));
    const QString service = panel->items.first();

    desktop.stopPanel(panel);
    auto restarted = desktop.startPanel();
    ASSERT_TRUE(restarted->claimed());
    ASSERT_TRUE(waitFor([&] { return restarted->items.contains(service); }, 20000));
    SniItemClient item(desktop.client(), service);
    EXPECT_EQ(item.property("Id"), qv::APP_ID);
}

TEST(TrayProcess, TheEmbeddedIconDocksWithoutAWatcherAndGivesWayWhenOneStarts) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready());
    XembedTray tray(desktop.x.display());
    ASSERT_TRUE(tray.running());
    AgentWorld world;
    desktop.placeAgent(world);
    AgentProcess agent(world);
    ASSERT_TRUE(waitFor(
        [&] {
            tray.pump();
            return !tray.docked().empty();
        },
        30000));
    const xcb_window_t icon = tray.docked().front();

    auto panel = desktop.startPanel();
    ASSERT_TRUE(waitFor([&] { return !panel->items.isEmpty(); }, 20000));
    ASSERT_TRUE(waitFor([&] { return !tray.exists(icon); }, 20000));

    // The panel goes for good: after a moment's grace the embedded icon docks again.
    desktop.stopPanel(panel);
    ASSERT_TRUE(waitFor(
        [&] {
            tray.pump();
            return tray.docked().size() >= 2;
        },
        30000));
}

TEST(TrayProcess, WithoutAnyTrayTheNoticeIsSentOncePerLogin) {
    Desktop desktop;
    ASSERT_TRUE(desktop.ready());
    AgentWorld login;
    desktop.placeAgent(login);
    {
        AgentProcess agent(login);
        ASSERT_TRUE(waitFor([&] { return !desktop.notifications.notices.isEmpty(); }, 30000));
        const FakeNotifications::Notice notice = desktop.notifications.notices.first();
        EXPECT_EQ(notice.summary, "Quorvia runs without a tray icon");
        EXPECT_EQ(notice.hints.value("desktop-entry"), qv::APP_ID);
        ASSERT_TRUE(notice.actions.contains("default"));
        desktop.notifications.invoke(notice.id, "default");
        ASSERT_TRUE(waitFor([&] { return login.opened().contains(qv::WEB + "/"); }, 10000));
    }

    // The agent started again in the same login says nothing. Another login's agent, started
    // after it, does: once that one has spoken, the first has had its chance too.
    AgentProcess again(login);
    // It runs (it listens for later starts) before the other login's agent is even started,
    // so its own wait for a tray began first.
    ASSERT_TRUE(
        waitFor([&] { return QFileInfo::exists(login.path("runtime/quorvia.sock")); }, 20000));
    AgentWorld otherLogin;
    desktop.placeAgent(otherLogin);
    AgentProcess other(otherLogin);
    ASSERT_TRUE(waitFor([&] { return desktop.notifications.notices.size() >= 2; }, 30000));
    spin(500);
    EXPECT_EQ(desktop.notifications.notices.size(), 2);
}

}  // namespace
