// The real agent on a headless Wayland desktop (Mutter with XWayland, its own session bus, and
// Qt's Wayland platform installed): it chooses XWayland by itself, its StatusNotifierItem
// registers with the panel's watcher, the label ticks while a recording chosen through the
// menu runs and clears after "Stop recording", and the prompt that follows stands in the
// top-right corner as an X11 window with the agent's identity. And a call from an application
// known by its desktop entry is offered there too, and its button starts the recording.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>

#include "main/constants.h"
#include "support/agent_process.h"
#include "support/call_app_process.h"
#include "support/port_lock.h"
#include "support/pulse_daemon.h"
#include "support/sni_watcher.h"
#include "support/stand_in_backend.h"
#include "support/wayland_session.h"

using namespace qv::test;

namespace {

// Runs xdotool against the session's XWayland and returns its output, trimmed.
QString xdotool(const std::map<std::string, std::string>& env, const QStringList& args) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "XAUTHORITY"}) {
        if (env.count(name)) e.insert(name, QString::fromStdString(env.at(name)));
    }
    p.setProcessEnvironment(e);
    p.start("xdotool", args);
    if (!p.waitForFinished(10000)) p.kill();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The geometry of an X11 window on the session's XWayland: X, Y, WIDTH, HEIGHT.
QHash<QString, int> geometryOf(const std::map<std::string, std::string>& env,
                               const QString& window) {
    QHash<QString, int> geometry;
    for (const QString& line : xdotool(env, {"getwindowgeometry", "--shell", window}).split('\n')) {
        const QStringList kv = line.split('=');
        if (kv.size() == 2) geometry.insert(kv[0], kv[1].toInt());
    }
    return geometry;
}

// The first visible window whose name begins with `name`, once one shows.
QString waitForWindowNamed(const std::map<std::string, std::string>& env, const QString& name) {
    QString window;
    waitFor(
        [&] {
            window = xdotool(env, {"search", "--onlyvisible", "--name", "^" + name})
                         .split('\n', Qt::SkipEmptyParts)
                         .value(0);
            return !window.isEmpty();
        },
        30000);
    return window;
}

TEST(TrayWayland, TheAgentTakesXWaylandAndItsItemWorksEndToEnd) {
    PortLock port;
    WaylandSession session{{1280, 800, WaylandSession::Portal::None}};
    ASSERT_TRUE(session.running()) << session.error();
    const std::map<std::string, std::string> env = session.clientEnvironment();
    ASSERT_TRUE(env.count("DISPLAY"));

    const QString bus = QString::fromStdString(env.at("DBUS_SESSION_BUS_ADDRESS"));
    SniWatcher panel(QDBusConnection::connectToBus(bus, "wayland-panel"));
    ASSERT_TRUE(panel.claimed());
    StandInBackend backend(qv::PORT);
    ASSERT_TRUE(backend.ready());

    AgentWorld world;
    for (const auto& [name, value] : env) {
        world.variables.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    world.variables.insert("QT_QPA_PLATFORM", "");  // the agent decides, as on a desktop
    AgentProcess agent(world);
    ASSERT_TRUE(waitFor([&] { return !panel.items.isEmpty(); }, 60000));

    SniItemClient item(QDBusConnection::connectToBus(bus, "wayland-client"), panel.items.first());
    ASSERT_TRUE(item.aboutToShow());
    EXPECT_EQ(item.click(item.layout().idOf("Record a meeting now")), "");
    ASSERT_TRUE(waitFor([&] { return item.distinctTimes() >= 2; }, 60000))
        << item.labels.join('|').toStdString();

    ASSERT_TRUE(item.aboutToShow());
    const int stop = item.layout().idOf("Stop recording");
    ASSERT_NE(stop, -1);
    EXPECT_EQ(item.click(stop), "");
    ASSERT_TRUE(waitFor([&] { return item.labels.last().isEmpty(); }, 60000));

    // The prompt after the stop: an X11 window of the agent's class, 16 pixels from the right
    // edge and 12 below the top of the 1280 x 800 screen.
    QString window;
    ASSERT_TRUE(waitFor(
        [&] {
            window = xdotool(env, {"search", "--onlyvisible", "--class", qv::APP_ID})
                         .split('\n', Qt::SkipEmptyParts)
                         .value(0);
            return !window.isEmpty();
        },
        30000));
    const QHash<QString, int> geometry = geometryOf(env, window);
    EXPECT_EQ(geometry.value("X") + geometry.value("WIDTH"), 1280 - 16);
    EXPECT_EQ(geometry.value("Y"), 12);
    EXPECT_EQ(geometry.value("WIDTH"), 370);

    QDBusConnection::disconnectFromBus("wayland-client");
    QDBusConnection::disconnectFromBus("wayland-panel");
}

TEST(TrayWayland, ACallFromAnApplicationWithADesktopEntryIsOfferedInTheTopRightCorner) {
    const QString name = QStringLiteral("Brightline Meet");
    PortLock port;
    WaylandSession session{{1280, 800, WaylandSession::Portal::None}};
    ASSERT_TRUE(session.running()) << session.error();
    const std::map<std::string, std::string> env = session.clientEnvironment();
    PulseDaemon audio;
    ASSERT_TRUE(audio.start());
    ASSERT_GE(audio.addMicrophone(), 0);
    audio.use();
    StandInBackend backend(qv::PORT);
    ASSERT_TRUE(backend.ready());
    ASSERT_EQ(backend.call("POST", "/api/setup", QJsonObject{{"done", true}}).first, 200);

    AgentWorld world;
    for (const auto& [key, value] : env) {
        world.variables.insert(QString::fromStdString(key), QString::fromStdString(value));
    }
    world.variables.insert("QT_QPA_PLATFORM", "");
    world.variables.insert("PULSE_SERVER", qEnvironmentVariable("PULSE_SERVER"));
    const QString applications = world.environment().value("XDG_DATA_HOME") + "/applications";
    QDir().mkpath(applications);
    QFile entry(applications + "/org.example.BrightlineMeet.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() +
                "\nExec=call_app\nStartupWMClass=BrightlineMeet\n");
    entry.close();
    AgentProcess agent(world);

    CallAppProcess call(QStringLiteral(QV_CALL_APP), "BrightlineMeet", world.environment());
    ASSERT_EQ(call.answer(), "ready");
    // The agent is up and watching once it has opened its first page.
    ASSERT_TRUE(waitFor([&] { return world.opened().contains(qv::WEB + "/"); }, 60000));
    ASSERT_TRUE(call.command("capture microphone").startsWith("capturing "));

    const QString offer = waitForWindowNamed(env, name + " is using your microphone");
    ASSERT_FALSE(offer.isEmpty());
    const QHash<QString, int> at = geometryOf(env, offer);
    EXPECT_EQ(at.value("X") + at.value("WIDTH"), 1280 - 16);
    EXPECT_EQ(at.value("Y"), 12);
    // "Record this meeting", the panel's primary button.
    xdotool(env, {"mousemove", "--sync", QString::number(at.value("X") + 198 + 79),
                  QString::number(at.value("Y") + 84 + 15), "click", "1"});
    EXPECT_TRUE(waitFor(
        [&] { return backend.call("GET", "/api/native/status").second.value("recording") == true; },
        30000));
}

}  // namespace
