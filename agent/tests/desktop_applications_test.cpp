// Naming the running applications: windows mapped to desktop entries in temporary XDG folders,
// and what /proc says about a process (its parent, its systemd unit, its Flatpak sandbox).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/desktop_applications.h"
#include "platform/proc_process_table.h"
#include "platform/process_identity.h"

using namespace qv;

namespace {

// Process ids above any the kernel hands out: /proc knows nothing of them.
constexpr int32_t kNoSuchProcess = 2'000'000'000;

class FakeWindowList : public WindowList {
  public:
    bool available() const override { return true; }
    Snapshot snapshot() const override {
        return {generation, std::make_shared<const std::vector<TopLevelWindow>>(windows)};
    }
    void set(std::vector<TopLevelWindow> w) {
        windows = std::move(w);
        ++generation;
    }
    std::vector<TopLevelWindow> windows;
    uint64_t generation = 1;
};

class RunningApps : public testing::Test {
  protected:
    void install(const QString& file, const QByteArray& text) {
        QDir().mkpath(dir.path());
        QFile f(dir.filePath(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\n" + text);
    }
    QTemporaryDir dir;
};

TEST_F(RunningApps, WindowsAreNamedByTheirDesktopEntryElseByTheirClass) {
    install("org.example.Caller.desktop",
            "Name=Caller\nName[de]=Anrufer\nStartupWMClass=CallerWindow\n");
    install("plainid.desktop", "Name=Plain\n");
    DesktopEntries entries({dir.path()}, "de_DE.UTF-8");
    FakeWindowList windows;
    const int32_t a = kNoSuchProcess, b = a + 1, c = a + 2, d = a + 3;
    windows.set({
        {1, a, "caller", "CallerWindow", true},  // StartupWMClass
        {2, b, "plainid", "Other", true},        // the id against the instance name
        {3, 0, "nobody", "Nobody", true},        // no process: left out
        {4, c, "unknown", "Unknown", true},      // no entry: the class
        {5, d, "panel", "", false},              // a panel first...
        {6, d, "main", "", true},                // ...and a normal window of the same process
        {7, a, "caller", "CallerWindow", true},  // a second window of the first application
    });
    DesktopApplications apps(windows, entries, /*unitProcesses=*/false);
    const std::vector<RunningApplication> expected = {
        {a, true, "org.example.Caller", "Anrufer"},
        {b, true, "plainid", "Plain"},
        {c, true, std::nullopt, "Unknown"},
        {d, true, std::nullopt, "panel"},
    };
    const auto list = apps.runningApplications();
    ASSERT_EQ(list.size(), expected.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].pid, expected[i].pid) << i;
        EXPECT_EQ(list[i].regular, expected[i].regular) << i;
        EXPECT_EQ(list[i].bundleIdentifier, expected[i].bundleIdentifier) << i;
        EXPECT_EQ(list[i].localizedName, expected[i].localizedName) << i;
    }
    EXPECT_EQ(apps.desktopIdOf(a), "org.example.Caller");
    EXPECT_EQ(apps.desktopIdOf(c), "");
    EXPECT_EQ(apps.desktopIdOf(kNoSuchProcess + 100), "");

    // An application installed while it runs is named from then on.
    QThread::msleep(20);
    install("unknown.desktop", "Name=Now Known\n");
    EXPECT_EQ(apps.runningApplications()[2].localizedName, "Now Known");
    // So are windows that come and go.
    windows.set({{8, c, "unknown", "Unknown", true}});
    ASSERT_EQ(apps.runningApplications().size(), 1u);
    EXPECT_EQ(apps.runningApplications()[0].bundleIdentifier, "unknown");
}

TEST_F(RunningApps, ProcessesAreNamedByTheirUnitOrSandboxAndWithoutX11TheirUnitsCount) {
    install("org.example.Caller.desktop", "Name=Caller\n");
    install("org.flat.Meet.desktop", "Name=Flat Meet\n");
    DesktopEntries entries({dir.path()}, "C");
    const int32_t term = kNoSuchProcess, flat = term + 1, helper = term + 2, daemon = term + 3;
    const QHash<int32_t, QStringList> units = {
        {term, {"gnome-org.example.Caller", "org.example.Caller"}},
        {helper, {"gnome-org.example.Caller", "org.example.Caller"}},
        {daemon, {"gnome-unknown", "unknown"}},
    };
    const QHash<int32_t, QString> sandboxes = {{flat, "org.flat.Meet"}};
    const ProcessFacts facts{
        [&] {
            return std::vector<int32_t>{term, flat, helper, daemon};
        },
        [&](int32_t pid) { return units.value(pid); },
        [&](int32_t pid) { return sandboxes.value(pid); },
    };
    const auto describe = [](const std::vector<RunningApplication>& apps) {
        QStringList out;
        for (const auto& a : apps)
            out << QString("%1 %2 %3")
                       .arg(a.pid - kNoSuchProcess)
                       .arg(a.bundleIdentifier.value_or("-"), a.localizedName.value_or("-"));
        return out;
    };

    // Windows whose class names no entry: their process's unit or sandbox does.
    FakeWindowList windows;
    windows.set({{1, term, "xterm", "XTerm", true}, {2, flat, "meet", "Meet", true}});
    DesktopApplications x11(windows, entries, /*unitProcesses=*/false, facts);
    EXPECT_EQ(describe(x11.runningApplications()),
              (QStringList{"0 org.example.Caller Caller", "1 org.flat.Meet Flat Meet"}));
    EXPECT_EQ(x11.desktopIdOf(helper), "org.example.Caller");  // no window: by its unit
    EXPECT_EQ(x11.desktopIdOf(daemon), "");

    // Without X11, the processes of applications' units count as applications themselves.
    FakeWindowList none;
    DesktopApplications wayland(none, entries, /*unitProcesses=*/true, facts);
    EXPECT_EQ(describe(wayland.runningApplications()),
              (QStringList{"0 org.example.Caller Caller", "1 org.flat.Meet Flat Meet",
                           "2 org.example.Caller Caller"}));
    // With both, a process with a window is listed once, for its window.
    DesktopApplications mixed(windows, entries, /*unitProcesses=*/true, facts);
    EXPECT_EQ(describe(mixed.runningApplications()),
              (QStringList{"0 org.example.Caller Caller", "1 org.flat.Meet Flat Meet",
                           "2 org.example.Caller Caller"}));
}

TEST(ProcessIdentity, ApplicationIdsFromTheSystemdUnitOfAProcess) {
    const QByteArray user = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";
    struct Case {
        QByteArray cgroup;
        QStringList ids;
    };
    const Case cases[] = {
        {user + "app-gnome-org.gnome.Terminal-5678.scope\n",
         {"gnome-org.gnome.Terminal", "org.gnome.Terminal"}},
        {user + "app-org.kde.dolphin@0a1b2c.service\n", {"org.kde.dolphin"}},
        {user + "app-firefox.service\n", {"firefox"}},
        {user + "app-gnome-google\\x2dchrome-1234.scope\n",
         {"gnome-google-chrome", "google-chrome"}},
        {user + "app-flatpak-us.zoom.Zoom-4242.scope\n", {"flatpak-us.zoom.Zoom", "us.zoom.Zoom"}},
        // A launcher that does not escape: every shorter tail is offered too.
        {user + "app-gnome-teams-for-linux-77.scope\n",
         {"gnome-teams-for-linux", "teams-for-linux", "for-linux", "linux"}},
        // Version 1 hierarchies, with the systemd one among them.
        {"12:pids:/user.slice\n1:name=systemd:/user.slice/app-Slack-3.scope\n", {"Slack"}},
        {"0::/user.slice/user-1000.slice/session-2.scope\n", {}},
        {user + "vte-spawn-0f1e2d.scope\n", {}},
        {"0::/\n", {}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(unitAppIdsFromCgroup(c.cgroup), c.ids) << c.cgroup.toStdString();
}

TEST(ProcessIdentity, FlatpakApplicationIdFromTheSandboxInfo) {
    EXPECT_EQ(flatpakAppIdFromInfo("[Application]\nname=org.mozilla.firefox\nruntime=runtime/"
                                   "org.freedesktop.Platform/x86_64/23.08\n\n[Instance]\n"
                                   "instance-id=123\n"),
              "org.mozilla.firefox");
    EXPECT_EQ(flatpakAppIdFromInfo("[Runtime]\nname=org.freedesktop.Sdk\n"), "");
    EXPECT_EQ(flatpakAppIdFromInfo(""), "");
    // A process may put its own root in place of a sandbox's: a name that is not an
    // application id names nothing, rather than control characters or a path in a prompt.
    struct Case {
        QByteArray name;
        QString id;
    };
    const Case names[] = {
        {"us.zoom.Zoom\r", "us.zoom.Zoom"},  // a line ending of another system
        {"us.zoom\rZoom", ""},
        {"us.zoom.Zoom\x01", ""},
        {"com.example.App\x1b[2J", ""},
        {"../../etc/passwd", ""},
        {"zoom", ""},
        {"us..Zoom", ""},
        {"org.example.Caf\xc3\xa9", ""},
        {"com.slack.Slack", "com.slack.Slack"},
        {"io.github.some_one.App-Name", "io.github.some_one.App-Name"},
        {"a." + QByteArray(300, 'b'), ""},
    };
    for (const Case& c : names) {
        EXPECT_EQ(flatpakAppIdFromInfo("[Application]\nname=" + c.name + "\n"), c.id)
            << c.name.toStdString();
    }
    EXPECT_EQ(flatpakAppId(getpid()), "");  // not in a sandbox
}

TEST(ProcessTable, ParentsFromProc) {
    struct Case {
        QByteArray stat;
        int32_t parent;
    };
    const Case cases[] = {
        {"4242 (zoom) S 4200 4242 4242 0 -1 4194560", 4200},
        {"77 (a) b) (c) R 1 77 77", 1},  // a command name with spaces and parentheses
        {"2 (kthreadd) S 0 0 0", 0},
        {"", 0},
        {"garbage", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(parentFromStat(c.stat), c.parent) << c.stat.data();
    ProcProcessTable table;
    EXPECT_EQ(table.parentPid(getpid()), getppid());
    EXPECT_EQ(table.parentPid(kNoSuchProcess), 0);
    EXPECT_EQ(table.parentPid(0), 0);
}

}  // namespace
