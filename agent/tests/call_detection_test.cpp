// Call detection end to end: the real agent on a private X server and a private audio server,
// against the stand-in backend on the backend's port. A stand-in call application with its own
// desktop entry opens a window and captures the microphone from a child process; the agent must
// offer to record, start the recording for that application when asked, and stop it once the
// capture has been over for more than 20 s.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "support/agent_process.h"
#include "support/call_app_process.h"
#include "support/port_lock.h"
#include "support/pulse_daemon.h"
#include "support/stand_in_backend.h"
#include "support/xvfb.h"

using namespace qv::test;

namespace {

const QString kName = QStringLiteral("Brightline Meet");
const char* const kClass = "BrightlineMeet";

// Reads the agent's top-level windows on the test's display.
class Screen {
  public:
    struct Window {
        xcb_window_t id;
        QString name;
        int x, y;
    };

    explicit Screen(const std::string& display) : c_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        utf8_ = atom("UTF8_STRING");
        netName_ = atom("_NET_WM_NAME");
    }
    ~Screen() { xcb_disconnect(c_); }

    // The agent's mapped window whose name begins with `name`, if there is one now.
    std::optional<Window> agentWindow(const QString& name) {
        auto tree = own(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
        if (!tree) return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t w = children[i];
            auto a =
                own(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr));
            if (!a || a->map_state != XCB_MAP_STATE_VIEWABLE) continue;
            if (text(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING) != "com.lumaret.quorvia") continue;
            // The desktop shows the title with the application's name after it.
            if (!text(w, netName_, utf8_).startsWith(name)) continue;
            auto g = own(xcb_get_geometry_reply(c_, xcb_get_geometry(c_, w), nullptr));
            if (!g) continue;
            return Window{w, name, g->x, g->y};
        }
        return std::nullopt;
    }

  private:
    template <typename T>
    static std::unique_ptr<T, decltype(&std::free)> own(T* r) {
        return {r, &std::free};
    }
    xcb_atom_t atom(const char* name) {
        auto r = own(
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr));
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    // A text property up to its first NUL.
    QString text(xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
        auto r = own(xcb_get_property_reply(c_, xcb_get_property(c_, 0, w, property, type, 0, 256),
                                            nullptr));
        if (!r || r->format != 8) return {};
        const char* v = static_cast<const char*>(xcb_get_property_value(r.get()));
        const QByteArray bytes(v, xcb_get_property_value_length(r.get()));
        return QString::fromUtf8(
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0')));
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    xcb_atom_t utf8_ = XCB_ATOM_NONE, netName_ = XCB_ATOM_NONE;
};

// The stand-in call application, with its window class.
struct CallApp : CallAppProcess {
    explicit CallApp(const QProcessEnvironment& env)
        : CallAppProcess(QStringLiteral(QV_CALL_APP), kClass, env) {}
};

// The requests the backend received at `path`, as JSON bodies.
QList<QJsonObject> received(StandInBackend& backend, const QString& path) {
    QList<QJsonObject> bodies;
    const QJsonObject log = backend.call("GET", "/_control/requests").second;
    for (const QJsonValue& r : log.value("requests").toArray()) {
        const QJsonObject request = r.toObject();
        if (request.value("path") == path && request.value("method") == "POST") {
            bodies << QJsonDocument::fromJson(request.value("body").toString().toUtf8()).object();
        }
    }
    return bodies;
}

void clickAt(const std::string& display, int x, int y) {
    QProcess xdotool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display));
    xdotool.setProcessEnvironment(env);
    xdotool.start("xdotool",
                  {"mousemove", "--sync", QString::number(x), QString::number(y), "click", "1"});
    xdotool.waitForFinished(10000);
}

TEST(CallDetection, OffersToRecordACallAndStopsTheRecordingWhenTheCallHasEnded) {
    PortLock port;
    Xvfb x(1280, 800);
    ASSERT_TRUE(x.running());
    PulseDaemon audio;
    ASSERT_TRUE(audio.start());
    ASSERT_GE(audio.addMicrophone(), 0);
    audio.use();
    StandInBackend backend(8765);
    ASSERT_TRUE(backend.ready()) << "the backend's port is taken";
    ASSERT_EQ(backend.call("POST", "/api/setup", QJsonObject{{"done", true}}).first, 200);

    AgentWorld world;
    QDir(world.path("data")).mkpath("applications");
    QFile entry(world.path("data/applications/org.example.BrightlineMeet.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=" + kName.toUtf8() +
                "\nExec=call_app\nStartupWMClass=" + kClass + "\n");
    entry.close();
    world.variables.insert("DISPLAY", QString::fromStdString(x.display()));
    world.variables.insert("QT_QPA_PLATFORM", "xcb");
    world.variables.insert("PULSE_SERVER", qEnvironmentVariable("PULSE_SERVER"));
    AgentProcess agent(world);
    ASSERT_TRUE(agent.process.waitForStarted());

    CallApp call(world.environment());
    ASSERT_EQ(call.answer(), "ready");
    // Let the agent come up and watch before the call begins.
    ASSERT_TRUE(waitFor([&] { return world.opened().contains("http://localhost:8765/"); }, 30000));
    ASSERT_TRUE(call.command("capture microphone").startsWith("capturing "));
    QElapsedTimer sinceCapture;
    sinceCapture.start();

    Screen screen(x.display());
    const QString offerTitle = kName + " is using your microphone";
    std::optional<Screen::Window> offer;
    ASSERT_TRUE(
        waitFor([&] { return (offer = screen.agentWindow(offerTitle)).has_value(); }, 30000));
    EXPECT_GT(sinceCapture.elapsed(), 3000) << "offered after more than 3 s of use";
    // "Record this meeting": the panel's primary button.
    clickAt(x.display(), offer->x + 198 + 79, offer->y + 84 + 15);
    ASSERT_TRUE(waitFor([&] { return !received(backend, "/api/native/start").isEmpty(); }, 15000));
    const QList<QJsonObject> starts = received(backend, "/api/native/start");
    ASSERT_EQ(starts.size(), 1);
    EXPECT_EQ(starts[0], QJsonObject({{"app", kName}}));
    EXPECT_TRUE(waitFor([&] { return !screen.agentWindow(offerTitle); }, 5000));
    EXPECT_EQ(backend.call("GET", "/api/native/status").second.value("recording"), true);

    ASSERT_EQ(call.command("end"), "ended");
    QElapsedTimer sinceEnd;
    sinceEnd.start();
    // The stop arrives after the last look at the log that did not find it.
    qint64 lastWithout = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            const qint64 asked = sinceEnd.elapsed();
            if (!received(backend, "/api/native/stop").isEmpty()) return true;
            lastWithout = asked;
            return false;
        },
        60000));
    EXPECT_GT(lastWithout, 20000) << "stopped more than 20 s after the call ended";
    EXPECT_LT(sinceEnd.elapsed(), 35000);
    EXPECT_EQ(received(backend, "/api/native/stop").size(), 1);
    EXPECT_TRUE(waitFor(
        [&] { return screen.agentWindow(kName + " call ended. Recording saved").has_value(); },
        15000));
    EXPECT_EQ(backend.call("GET", "/api/native/status").second.value("recording"), false);
}

}  // namespace
