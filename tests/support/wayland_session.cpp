#include "support/wayland_session.h"

#include <errno.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

namespace qv::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto START_LIMIT = 60s;
constexpr auto STOP_LIMIT = 5s;
constexpr int BTN_LEFT = 0x110;

// Where the GNOME backend's "Screen Share" dialog (43) has its controls, from the centre of
// the monitor it is centred on.
struct Offset {
    int dx, dy;
};
constexpr Offset FIRST_MONITOR{-1, 28};
constexpr Offset SHARE_BUTTON{204, -127};
constexpr Offset CANCEL_BUTTON{-203, -127};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string tail(const std::string& text, std::size_t n = 2000) {
    return text.size() <= n ? text : text.substr(text.size() - n);
}

bool accepts(const std::filesystem::path& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socketPath.string().copy(addr.sun_path, sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// True once the child has ended (and has been collected); `pid` becomes -1 then.
bool ended(pid_t& pid) {
    if (pid <= 0) return true;
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) pid = -1;
    return pid <= 0;
}

// A connection of the test's own to the session bus, for Mutter's remote-desktop API.
class Bus {
  public:
    explicit Bus(const std::string& address) {
        connection_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
    }
    ~Bus() {
        if (connection_) g_object_unref(connection_);
    }
    explicit operator bool() const { return connection_ != nullptr; }

    // The reply, or null on an error.
    GVariant* call(const char* name, const char* path, const char* interface, const char* method,
                   GVariant* args, const char* replyType = nullptr) {
        return g_dbus_connection_call_sync(connection_, name, path, interface, method, args,
                                           replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                           G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    }
    bool ok(GVariant* reply) {
        if (reply == nullptr) return false;
        g_variant_unref(reply);
        return true;
    }
    std::string path(GVariant* reply) {
        if (reply == nullptr) return {};
        const gchar* p = nullptr;
        g_variant_get(reply, "(&o)", &p);
        std::string result = p;
        g_variant_unref(reply);
        return result;
    }
    bool hasOwner(const char* name) {
        GVariant* reply =
            call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "NameHasOwner", g_variant_new("(s)", name), "(b)");
        if (reply == nullptr) return false;
        gboolean has = FALSE;
        g_variant_get(reply, "(b)", &has);
        g_variant_unref(reply);
        return has;
    }

  private:
    GDBusConnection* connection_ = nullptr;
};

constexpr const char* RD = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* RD_SESSION = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* SC = "org.gnome.Mutter.ScreenCast";

// A pointer on the session's monitor, driven through a remote-desktop session of Mutter's.
class RemotePointer {
  public:
    explicit RemotePointer(Bus& bus) : bus_(bus) {
        session_ = bus_.path(
            bus_.call(RD, "/org/gnome/Mutter/RemoteDesktop", RD, "CreateSession", nullptr, "(o)"));
        if (session_.empty()) return;
        GVariant* id = bus_.call(RD, session_.c_str(), "org.freedesktop.DBus.Properties", "Get",
                                 g_variant_new("(ss)", RD_SESSION, "SessionId"), "(v)");
        if (id == nullptr) return;
        GVariant* value = nullptr;
        g_variant_get(id, "(v)", &value);
        GVariantBuilder props;
        g_variant_builder_init(&props, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&props, "{sv}", "remote-desktop-session-id", value);
        const std::string cast =
            bus_.path(bus_.call(SC, "/org/gnome/Mutter/ScreenCast", SC, "CreateSession",
                                g_variant_new("(a{sv})", &props), "(o)"));
        g_variant_unref(id);
        if (cast.empty()) return;
        // Absolute positions are given on a stream of the monitor ("" is the primary one).
        stream_ = bus_.path(bus_.call(
            SC, cast.c_str(), "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
            g_variant_new("(s@a{sv})", "", g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
            "(o)"));
        started_ = !stream_.empty() &&
                   bus_.ok(bus_.call(RD, session_.c_str(), RD_SESSION, "Start", nullptr));
    }
    ~RemotePointer() {
        if (!session_.empty())
            bus_.ok(bus_.call(RD, session_.c_str(), RD_SESSION, "Stop", nullptr));
    }
    bool ready() const { return started_; }

    bool click(int x, int y) {
        // The stream takes a moment to be set up after Start.
        const bool moved = waitFor(
            [&] {
                return bus_.ok(
                    bus_.call(RD, session_.c_str(), RD_SESSION, "NotifyPointerMotionAbsolute",
                              g_variant_new("(sdd)", stream_.c_str(), double(x), double(y))));
            },
            5s);
        if (!moved) return false;
        std::this_thread::sleep_for(100ms);
        bus_.ok(bus_.call(RD, session_.c_str(), RD_SESSION, "NotifyPointerButton",
                          g_variant_new("(ib)", BTN_LEFT, TRUE)));
        std::this_thread::sleep_for(50ms);
        return bus_.ok(bus_.call(RD, session_.c_str(), RD_SESSION, "NotifyPointerButton",
                                 g_variant_new("(ib)", BTN_LEFT, FALSE)));
    }

  private:
    Bus& bus_;
    std::string session_;
    std::string stream_;
    bool started_ = false;
};

}  // namespace

WaylandSession::WaylandSession(Options options) : options_(options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-wayland-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        fail("cannot create the session's folder");
        return;
    }
    folder_ = pattern;
    runtime_ = folder_ / "runtime";
    for (const char* dir : {"home", "config", "data", "cache", "state", "services"})
        std::filesystem::create_directories(folder_ / dir);
    std::filesystem::create_directory(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    running_ = startBus(options) && startCompositor(options);
}

WaylandSession::WaylandSession() : WaylandSession(Options{}) {}

WaylandSession::~WaylandSession() {
    stop();
}

bool WaylandSession::fail(const std::string& what, const std::string& log) {
    error_ = what;
    if (!log.empty()) error_ += "\n--- " + log + ":\n" + tail(readAll(folder_ / log));
    return false;
}

std::vector<std::string> WaylandSession::baseEnvironment() const {
    const char* path = getenv("PATH");
    std::vector<std::string> env = {
        std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
        "HOME=" + (folder_ / "home").string(),
        "LANG=C.UTF-8",
        "XDG_RUNTIME_DIR=" + runtime_.string(),
        "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
        "XDG_DATA_HOME=" + (folder_ / "data").string(),
        "XDG_CACHE_HOME=" + (folder_ / "cache").string(),
        "XDG_STATE_HOME=" + (folder_ / "state").string(),
        "XDG_CURRENT_DESKTOP=GNOME",
        "XDG_SESSION_TYPE=wayland",
        // Settings live in memory, and no accessibility bus is looked for.
        "GSETTINGS_BACKEND=memory",
        "NO_AT_BRIDGE=1",
        "GTK_A11Y=none",
    };
    if (!busAddress_.empty()) env.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress_);
    return env;
}

pid_t WaylandSession::spawn(const std::vector<std::string>& argv, const std::string& log,
                            const std::vector<std::string>& extraEnv) {
    // Everything the child needs is built before fork: a threaded process's child must not
    // allocate.
    std::vector<std::string> env = baseEnvironment();
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const std::string logPath = (folder_ / log).string();
    const pid_t group = group_;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, group > 0 ? group : 0);
        // A test that crashes takes its session with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) return -1;
    setpgid(pid, group > 0 ? group : pid);  // also here, so that no signal finds it outside
    if (group_ < 0) group_ = pid;
    children_.push_back(pid);
    return pid;
}

bool WaylandSession::startBus(const Options& options) {
    // Only the services this session needs can be started on demand.
    const std::filesystem::path services = folder_ / "services";
    const auto service = [&](const std::string& name, const std::string& exec) {
        writeFile(services / (name + ".service"),
                  "[D-BUS Service]\nName=" + name + "\nExec=" + exec + "\n");
    };
    if (options.portal != Portal::None) {
        service("org.freedesktop.portal.Desktop", "/usr/libexec/xdg-desktop-portal");
        service("org.freedesktop.impl.portal.PermissionStore", "/usr/libexec/xdg-permission-store");
    }
    if (options.portal == Portal::Gnome)
        service("org.freedesktop.impl.portal.desktop.gnome",
                "/usr/libexec/xdg-desktop-portal-gnome");
    writeFile(folder_ / "bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig>\n  <type>session</type>\n  <keep_umask/>\n"
              "  <listen>unix:tmpdir=/tmp</listen>\n"
              "  <servicedir>" +
                  services.string() +
                  "</servicedir>\n"
                  "  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
                  "  </policy>\n</busconfig>\n");
    const std::filesystem::path socket = runtime_ / "bus";
    if (spawn({"dbus-daemon", "--config-file=" + (folder_ / "bus.conf").string(), "--nofork",
               "--nopidfile", "--address=unix:path=" + socket.string()},
              "dbus.log") < 0)
        return fail("cannot start dbus-daemon");
    if (!waitFor([&] { return accepts(socket); }, START_LIMIT))
        return fail("the session bus did not start", "dbus.log");
    busAddress_ = "unix:path=" + socket.string();

    if (spawn({"pipewire"}, "pipewire.log") < 0) return fail("cannot start pipewire");
    if (!waitFor([&] { return accepts(runtime_ / "pipewire-0"); }, START_LIMIT))
        return fail("PipeWire did not start", "pipewire.log");
    if (spawn({"wireplumber"}, "wireplumber.log") < 0) return fail("cannot start wireplumber");
    return true;
}

bool WaylandSession::startCompositor(const Options& options) {
    compositor_ =
        spawn({"mutter", "--headless", "--virtual-monitor",
               std::to_string(options.width) + "x" + std::to_string(options.height), "--wayland"},
              "mutter.log");
    if (compositor_ < 0) return fail("cannot start mutter");
    const std::regex displayLine("Using public X11 display (:[0-9]+)");
    const bool up = waitFor(
        [&] {
            if (ended(compositor_)) return true;  // judged below
            std::smatch m;
            const std::string log = readAll(folder_ / "mutter.log");
            if (!std::regex_search(log, m, displayLine)) return false;
            display_ = m[1];
            for (const auto& entry : std::filesystem::directory_iterator(runtime_)) {
                if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0)
                    xauthority_ = entry.path().string();
            }
            return !xauthority_.empty() && accepts(runtime_ / "wayland-0") &&
                   accepts("/tmp/.X11-unix/X" + display_.substr(1));
        },
        START_LIMIT);
    if (!up || compositor_ <= 0) return fail("Mutter did not start", "mutter.log");

    Bus bus(busAddress_);
    if (!bus || !waitFor([&] { return bus.hasOwner(RD) && bus.hasOwner(SC); }, START_LIMIT))
        return fail("Mutter's remote-desktop and screen-cast services did not appear",
                    "mutter.log");
    // What the portal and its dialog, started by the bus, need to find the desktop.
    GVariantBuilder env;
    g_variant_builder_init(&env, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&env, "{ss}", "WAYLAND_DISPLAY", "wayland-0");
    g_variant_builder_add(&env, "{ss}", "DISPLAY", display_.c_str());
    g_variant_builder_add(&env, "{ss}", "XAUTHORITY", xauthority_.c_str());
    if (!bus.ok(bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "UpdateActivationEnvironment", g_variant_new("(a{ss})", &env))))
        return fail("cannot hand the desktop's environment to the session bus");
    return true;
}

std::map<std::string, std::string> WaylandSession::clientEnvironment() const {
    std::map<std::string, std::string> env;
    for (const std::string& entry : baseEnvironment()) {
        const std::size_t eq = entry.find('=');
        const std::string key = entry.substr(0, eq);
        if (key == "PATH" || key == "LANG" || key == "GSETTINGS_BACKEND" || key == "NO_AT_BRIDGE" ||
            key == "GTK_A11Y")
            continue;
        env[key] = entry.substr(eq + 1);
    }
    env["WAYLAND_DISPLAY"] = "wayland-0";
    env["DISPLAY"] = display_;
    env["XAUTHORITY"] = xauthority_;
    return env;
}

bool WaylandSession::answerDialog(Answer answer, const std::function<bool()>& answered,
                                  std::chrono::milliseconds limit) {
    if (!running_) return false;
    Bus bus(busAddress_);
    if (!bus) return false;
    RemotePointer pointer(bus);
    if (!pointer.ready()) return false;
    const int cx = options_.width / 2;
    const int cy = options_.height / 2;
    const auto click = [&](Offset o) { return pointer.click(cx + o.dx, cy + o.dy); };
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (answer == Answer::Share) {
            click(FIRST_MONITOR);
            std::this_thread::sleep_for(300ms);
            click(SHARE_BUTTON);
        } else {
            click(CANCEL_BUTTON);
        }
        if (waitFor(answered, 1s)) return true;
    }
    return answered();
}

bool WaylandSession::serves(const std::string& busName) const {
    if (busAddress_.empty()) return false;
    Bus bus(busAddress_);
    return bus && bus.hasOwner(busName.c_str());
}

void WaylandSession::stopCompositor() {
    if (compositor_ <= 0) return;
    kill(compositor_, SIGTERM);
    if (!waitFor([&] { return ended(compositor_); }, STOP_LIMIT)) {
        kill(compositor_, SIGKILL);
        waitpid(compositor_, nullptr, 0);
    }
    compositor_ = -1;
}

void WaylandSession::stop() {
    if (group_ > 0) {
        // The group holds every program: those started here and those the bus started.
        kill(-group_, SIGTERM);
        const auto allEnded = [&] {
            bool all = true;
            for (pid_t& pid : children_) all = ended(pid) && all;
            return all;
        };
        waitFor(allEnded, STOP_LIMIT);
        kill(-group_, SIGKILL);
        waitFor(allEnded, STOP_LIMIT);
        waitFor([&] { return kill(-group_, 0) != 0; }, STOP_LIMIT);
        group_ = -1;
        children_.clear();
    }
    running_ = false;
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        folder_.clear();
    }
}

}  // namespace qv::test
