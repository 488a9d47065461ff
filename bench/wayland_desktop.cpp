// A private headless Wayland session for bench/record-wayland: lets hc-screen record once,
// answering the portal's dialog, so that later recordings start without it; opens a screen
// cast of the same monitor through Mutter's own API for other recorders; writes what a client
// needs to the file named first, as shell assignments, then "READY"; ends the session when
// its standard input closes.
//
//   wayland_desktop ENV_FILE HC_SCREEN
#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/wayland_session.h"

namespace {

using namespace std::chrono_literals;

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs hc-screen record once with the session's environment and shares the screen in its
// dialog; true once it said "recording" (its token is then stored).
bool shareOnce(qv::test::WaylandSession& session, const std::string& hc) {
    const std::string dir = (session.folder() / "first").string();
    const std::string out = dir + ".out";
    // Built before fork: the child of a threaded process must not allocate.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [key, value] : session.clientEnvironment()) env.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string video = dir + ".mp4", frames = dir + "-frames", err = dir + ".err";
    const char* args[] = {hc.c_str(), "record", video.c_str(), frames.c_str(), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, STDOUT_FILENO);
        dup2(e, STDERR_FILENO);
        execve(args[0], const_cast<char* const*>(args), envp.data());
        _exit(127);
    }
    const bool shared = session.answerDialog(qv::test::WaylandSession::Answer::Share,
                                             [&] { return readAll(out) == "recording\n"; });
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    return shared;
}

// A screen cast of the primary monitor through Mutter's API, with the pointer drawn in; its
// PipeWire node, or 0.
class MutterCast {
  public:
    explicit MutterCast(const std::string& address) {
        connection_ = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
    }
    ~MutterCast() {
        if (connection_) g_object_unref(connection_);
    }

    unsigned start() {
        if (!connection_) return 0;
        GVariant* r = call(
            "/org/gnome/Mutter/ScreenCast", "org.gnome.Mutter.ScreenCast", "CreateSession",
            g_variant_new("(@a{sv})", g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)));
        if (!r) return 0;
        const std::string session = path(r);
        GVariantBuilder props;
        g_variant_builder_init(&props, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&props, "{sv}", "cursor-mode", g_variant_new_uint32(1));  // embedded
        r = call(session.c_str(), "org.gnome.Mutter.ScreenCast.Session", "RecordMonitor",
                 g_variant_new("(sa{sv})", "", &props));
        if (!r) return 0;
        const std::string stream = path(r);
        g_dbus_connection_signal_subscribe(
            connection_, nullptr, "org.gnome.Mutter.ScreenCast.Stream", "PipeWireStreamAdded",
            stream.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
               GVariant* params,
               gpointer node) { g_variant_get(params, "(u)", static_cast<guint*>(node)); },
            &node_, nullptr);
        r = call(session.c_str(), "org.gnome.Mutter.ScreenCast.Session", "Start", nullptr);
        if (!r) return 0;
        g_variant_unref(r);
        const gint64 end = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
        while (node_ == 0 && g_get_monotonic_time() < end)
            g_main_context_iteration(nullptr, FALSE), g_usleep(10000);
        return node_;
    }

  private:
    GVariant* call(const char* path, const char* interface, const char* method, GVariant* args) {
        return g_dbus_connection_call_sync(connection_, "org.gnome.Mutter.ScreenCast", path,
                                           interface, method, args, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                           10000, nullptr, nullptr);
    }
    static std::string path(GVariant* reply) {
        const gchar* p = nullptr;
        g_variant_get(reply, "(&o)", &p);
        std::string result = p;
        g_variant_unref(reply);
        return result;
    }
    GDBusConnection* connection_ = nullptr;
    guint node_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: wayland_desktop ENV_FILE HC_SCREEN\n";
        return 2;
    }
    qv::test::WaylandSession session;
    if (!session.running()) {
        std::cerr << "the Wayland session did not start: " << session.error() << "\n";
        return 1;
    }
    if (!shareOnce(session, argv[2])) {
        std::cerr << "hc-screen could not be given the screen\n";
        return 1;
    }
    const auto env = session.clientEnvironment();
    MutterCast cast(env.at("DBUS_SESSION_BUS_ADDRESS"));
    const unsigned node = cast.start();
    if (node == 0) {
        std::cerr << "Mutter's screen cast did not start\n";
        return 1;
    }
    {
        std::ofstream file(argv[1]);
        for (const auto& [key, value] : env) file << "export " << key << "='" << value << "'\n";
        file << "NODE=" << node << "\nCOMPOSITOR=" << session.compositor() << "\nREADY=1\n";
    }
    // Until the script closes our standard input.
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}
