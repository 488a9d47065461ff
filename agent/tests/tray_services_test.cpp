// The tray's other services on a private session bus and in private folders: the watcher
// followed through its bus name, desktop notifications with their action, the once-per-login
// marks, and the platform chosen for a Wayland session.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/dbus_tray_hosts.h"
#include "platform/freedesktop_notifier.h"
#include "platform/runtime_once_per_login.h"
#include "platform/session_platform.h"
#include "support/fake_notifications.h"
#include "support/qt_wait.h"
#include "support/session_bus.h"
#include "support/sni_watcher.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST(DbusTrayHosts, FollowsTheWatchersNameAsItComesAndGoes) {
    SessionBus bus;
    ASSERT_TRUE(bus.running());
    bool embedding = false;
    DbusTrayHosts hosts(bus.connect("hosts-agent"), [&] { return embedding; });
    EXPECT_FALSE(hosts.watcherPresent());
    EXPECT_FALSE(hosts.embeddingTrayPresent());
    embedding = true;
    EXPECT_TRUE(hosts.embeddingTrayPresent());

    int changes = 0;
    hosts.onWatcherChanged([&] { ++changes; });
    {
        SniWatcher watcher(bus.connect("hosts-panel"));
        ASSERT_TRUE(waitFor([&] { return hosts.watcherPresent(); }, 10000));
        EXPECT_EQ(changes, 1);
    }
    SessionBus::disconnect("hosts-panel");
    ASSERT_TRUE(waitFor([&] { return !hosts.watcherPresent(); }, 10000));
    EXPECT_EQ(changes, 2);

    // A watcher that runs before the hosts are made is seen at once.
    SniWatcher early(bus.connect("hosts-early"));
    DbusTrayHosts later(bus.connect("hosts-agent-2"), nullptr);
    EXPECT_TRUE(later.watcherPresent());
    EXPECT_FALSE(later.embeddingTrayPresent());
    SessionBus::disconnect("hosts-agent");
    SessionBus::disconnect("hosts-agent-2");
    SessionBus::disconnect("hosts-early");
}

TEST(FreedesktopNotifier, SendsTheNotificationAndRunsItsActionOnce) {
    SessionBus bus;
    FakeNotifications desktop(bus.connect("notify-desktop"));
    ASSERT_TRUE(desktop.claimed());
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    FreedesktopNotifier notifier(bus.connect("notify-agent"), "com.lumaret.quorvia", icon);

    int ran = 0;
    notifier.notify({"Summary", "Body text", "Open Quorvia"}, [&] { ++ran; });
    ASSERT_TRUE(waitFor([&] { return desktop.notices.size() == 1; }, 10000));
    const FakeNotifications::Notice& n = desktop.notices[0];
    EXPECT_EQ(n.app, "Quorvia");
    EXPECT_EQ(n.summary, "Summary");
    EXPECT_EQ(n.body, "Body text");
    EXPECT_EQ(n.actions, (QStringList{"default", "Open Quorvia", "open", "Open Quorvia"}));
    EXPECT_EQ(n.hints.value("desktop-entry"), "com.lumaret.quorvia");
    EXPECT_TRUE(n.hints.contains("image-data"));

    // Another notification's action, and an unknown key, run nothing.
    desktop.invoke(n.id + 100, "open");
    desktop.invoke(n.id, "something-else");
    spin(200);
    EXPECT_EQ(ran, 0);
    desktop.invoke(n.id, "open");
    ASSERT_TRUE(waitFor([&] { return ran == 1; }, 10000));
    desktop.invoke(n.id, "default");  // already used
    spin(200);
    EXPECT_EQ(ran, 1);

    // A notification closed unused forgets its action.
    notifier.notify({"Again", "", "Open Quorvia"}, [&] { ran += 10; });
    ASSERT_TRUE(waitFor([&] { return desktop.notices.size() == 2; }, 10000));
    spin(100);  // the reply with the id is in
    desktop.close(desktop.notices[1].id);
    spin(100);
    desktop.invoke(desktop.notices[1].id, "default");
    spin(200);
    EXPECT_EQ(ran, 1);
    for (const char* c : {"notify-desktop", "notify-agent"}) SessionBus::disconnect(c);
}

TEST(FreedesktopNotifier, WithoutANotificationServiceNothingHappens) {
    SessionBus bus;
    FreedesktopNotifier notifier(bus.connect("notify-lonely"), "com.lumaret.quorvia");
    int ran = 0;
    notifier.notify({"Summary", "Body", "Open"}, [&] { ++ran; });
    spin(300);
    EXPECT_EQ(ran, 0);
    // Nor without any bus.
    FreedesktopNotifier unconnected(QDBusConnection(QStringLiteral("no-such-connection")), "x");
    unconnected.notify({"Summary", "Body", "Open"}, [&] { ++ran; });
    EXPECT_EQ(ran, 0);
    SessionBus::disconnect("notify-lonely");
}

TEST(RuntimeOncePerLogin, MarksHoldForTheirLoginOnly) {
    QTemporaryDir dir;
    RuntimeOncePerLogin first(dir.path(), "boot-1 3");
    EXPECT_FALSE(first.done("no-tray-notice"));
    first.markDone("no-tray-notice");
    EXPECT_TRUE(first.done("no-tray-notice"));
    EXPECT_FALSE(first.done("something-else"));

    // The agent started again in the same login reads the mark; another login does not.
    EXPECT_TRUE(RuntimeOncePerLogin(dir.path(), "boot-1 3").done("no-tray-notice"));
    EXPECT_FALSE(RuntimeOncePerLogin(dir.path(), "boot-1 4").done("no-tray-notice"));
    EXPECT_FALSE(RuntimeOncePerLogin(dir.path(), "boot-2 3").done("no-tray-notice"));

    // A folder that cannot be written: nothing is remembered, nothing fails.
    RuntimeOncePerLogin nowhere(dir.filePath("missing/folder"), "boot-1 3");
    nowhere.markDone("no-tray-notice");
    EXPECT_FALSE(nowhere.done("no-tray-notice"));
    EXPECT_FALSE(RuntimeOncePerLogin(QString(), "boot-1 3").done("no-tray-notice"));
}

TEST(SessionPlatform, WaylandSessionsUseXWaylandWhereItRunsUnlessTheUserChose) {
    struct Case {
        const char* name;
        QHash<QByteArray, QByteArray> env;
        bool displayOpens;
        QByteArray platform;
        bool note;
    };
    const Case cases[] = {
        {"X11 session", {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, true, "", false},
        {"Wayland with XWayland",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
         true,
         "xcb",
         false},
        {"Wayland named by the session type only",
         {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}},
         true,
         "xcb",
         false},
        {"the user's own platform",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}},
         true,
         "",
         false},
        {"Wayland, DISPLAY set but XWayland not answering",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":9"}},
         false,
         "",
         true},
        {"Wayland without DISPLAY", {{"WAYLAND_DISPLAY", "wayland-0"}}, true, "", true},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const PlatformChoice choice =
            choosePlatform([&](const char* name) { return c.env.value(name); },
                           [&] {
                               ++asked;
                               return c.displayOpens;
                           });
        EXPECT_EQ(choice.platform, c.platform) << c.name;
        EXPECT_EQ(!choice.note.isEmpty(), c.note) << c.name;
        if (c.platform.isEmpty() && !c.note) {
            EXPECT_EQ(asked, 0) << c.name;  // outside Wayland the display is not probed
        }
    }
}

TEST(SessionPlatform, TheChoiceReachesQtOnItsCommandLineOnly) {
    char program[] = "quorvia";
    char other[] = "--flag";
    char* argv[] = {program, other, nullptr};
    QtArguments chosen(2, argv, "xcb");
    ASSERT_EQ(chosen.argc(), 4);
    EXPECT_STREQ(chosen.argv()[0], "quorvia");
    EXPECT_STREQ(chosen.argv()[1], "--flag");
    EXPECT_STREQ(chosen.argv()[2], "-platform");
    EXPECT_STREQ(chosen.argv()[3], "xcb");
    EXPECT_EQ(chosen.argv()[4], nullptr);

    QtArguments unchanged(2, argv, {});
    ASSERT_EQ(unchanged.argc(), 2);
    EXPECT_STREQ(unchanged.argv()[1], "--flag");
    EXPECT_EQ(unchanged.argv()[2], nullptr);
}

}  // namespace
