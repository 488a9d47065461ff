#include "platform/gio_portal_bus.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace hc {

namespace {

constexpr const char* PORTAL = "org.freedesktop.portal.Desktop";
constexpr const char* PORTAL_PATH = "/org/freedesktop/portal/desktop";
constexpr const char* SCREEN_CAST = "org.freedesktop.portal.ScreenCast";
constexpr int CLOSE_TIMEOUT_MS = 2000;

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

BusError busError(GError* raw) {
    ErrorPtr error(raw);
    BusError result;
    if (gchar* name = g_dbus_error_get_remote_error(error.get())) {
        result.name = name;
        g_free(name);
    }
    g_dbus_error_strip_remote_error(error.get());
    result.message = error->message;
    return result;
}

BusValue fromVariant(GVariant* v);

BusDict dictFrom(GVariant* v) {
    BusDict dict;
    GVariantIter it;
    g_variant_iter_init(&it, v);
    while (GVariant* entry = g_variant_iter_next_value(&it)) {
        VariantPtr key(g_variant_get_child_value(entry, 0));
        VariantPtr value(g_variant_get_child_value(entry, 1));
        if (g_variant_is_of_type(key.get(), G_VARIANT_TYPE_STRING))
            dict.insert_or_assign(g_variant_get_string(key.get(), nullptr),
                                  fromVariant(value.get()));
        g_variant_unref(entry);
    }
    return dict;
}

BusValue fromVariant(GVariant* v) {
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_VARIANT)) {
        VariantPtr inner(g_variant_get_variant(v));
        return fromVariant(inner.get());
    }
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN))
        return BusValue(g_variant_get_boolean(v) != FALSE);
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32))
        return BusValue(std::uint32_t(g_variant_get_uint32(v)));
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32))
        return BusValue(std::int32_t(g_variant_get_int32(v)));
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_OBJECT_PATH))
        return BusValue(ObjectPath{g_variant_get_string(v, nullptr)});
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
        return BusValue(std::string(g_variant_get_string(v, nullptr)));
    if (g_variant_is_of_type(v, G_VARIANT_TYPE("a{s*}"))) return BusValue(dictFrom(v));
    if (g_variant_is_container(v)) {
        BusList list;
        const gsize n = g_variant_n_children(v);
        for (gsize i = 0; i < n; ++i) {
            VariantPtr child(g_variant_get_child_value(v, i));
            list.push_back(fromVariant(child.get()));
        }
        return BusValue(std::move(list));
    }
    // Types the portal conversation never reads keep their printed form.
    gchar* text = g_variant_print(v, FALSE);
    BusValue value{std::string(text)};
    g_free(text);
    return value;
}

GVariant* toVariant(const BusValue& value) {
    if (const auto* b = value.as<bool>()) return g_variant_new_boolean(*b);
    if (const auto* u = value.as<std::uint32_t>()) return g_variant_new_uint32(*u);
    if (const auto* i = value.as<std::int32_t>()) return g_variant_new_int32(*i);
    if (const auto* s = value.as<std::string>()) return g_variant_new_string(s->c_str());
    if (const auto* p = value.as<ObjectPath>()) return g_variant_new_object_path(p->value.c_str());
    if (const auto* d = value.as<BusDict>()) {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
        for (const auto& [key, v] : *d)
            g_variant_builder_add(&builder, "{sv}", key.c_str(), toVariant(v));
        return g_variant_builder_end(&builder);
    }
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
    for (const BusValue& v : *value.as<BusList>())
        g_variant_builder_add(&builder, "v", toVariant(v));
    return g_variant_builder_end(&builder);
}

GVariant* tupleOf(const BusList& args) {
    std::vector<GVariant*> children;
    for (const BusValue& a : args) children.push_back(toVariant(a));
    return g_variant_new_tuple(children.data(), children.size());
}

// Runs `f` with `context` as the calling thread's default, so that the connection's own
// signals are delivered there. Only before the context's thread runs.
template <class F>
auto inContext(GMainContext* context, F&& f) {
    g_main_context_push_thread_default(context);
    auto result = f();
    g_main_context_pop_thread_default(context);
    return result;
}

// Runs `f` on the thread of `context` (whose default that context is, so that the signal
// subscriptions `f` makes are delivered there) and waits for it.
unsigned onLoop(GMainContext* context, const std::function<unsigned()>& f) {
    struct Call {
        explicit Call(const std::function<unsigned()>& fn) : f(fn) {}
        const std::function<unsigned()>& f;
        unsigned result = 0;
        bool done = false;
        std::mutex mutex;
        std::condition_variable cv;
    } call(f);
    g_main_context_invoke(
        context,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            const unsigned result = c->f();
            std::lock_guard lock(c->mutex);
            c->result = result;
            c->done = true;
            c->cv.notify_all();
            return G_SOURCE_REMOVE;
        },
        &call);
    std::unique_lock lock(call.mutex);
    call.cv.wait(lock, [&] { return call.done; });
    return call.result;
}

}  // namespace

std::variant<std::unique_ptr<GioPortalBus>, Failure> GioPortalBus::connect() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (address == nullptr)
        return Failure{"Screen capture on Wayland needs a D-Bus session bus: " +
                       busError(error).message};
    GMainContext* context = g_main_context_new();
    GDBusConnection* connection = inContext(context, [&] {
        return g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
    });
    g_free(address);
    if (connection == nullptr) {
        g_main_context_unref(context);
        return Failure{"Cannot connect to the D-Bus session bus: " + busError(error).message};
    }
    return std::unique_ptr<GioPortalBus>(new GioPortalBus(connection, context));
}

GioPortalBus::GioPortalBus(GDBusConnection* connection, GMainContext* context)
    : connection_(connection), context_(context), loop_(g_main_loop_new(context, FALSE)) {
    g_dbus_connection_set_exit_on_close(connection_, FALSE);
    inContext(context_, [&] {
        g_signal_connect(connection_, "closed", G_CALLBACK(onConnectionClosed), this);
        otherWatches_.push_back(g_dbus_connection_signal_subscribe(
            connection_, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", PORTAL, G_DBUS_SIGNAL_FLAGS_NONE, onOwnerChanged, this,
            nullptr));
        return 0;
    });
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
}

GioPortalBus::~GioPortalBus() {
    for (const auto& [path, id] : requestWatches_)
        g_dbus_connection_signal_unsubscribe(connection_, id);
    for (unsigned id : otherWatches_) g_dbus_connection_signal_unsubscribe(connection_, id);
    g_signal_handlers_disconnect_by_data(connection_, this);
    g_main_loop_quit(loop_);
    thread_.join();
    g_object_unref(connection_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

std::string GioPortalBus::uniqueName() const {
    const gchar* name = g_dbus_connection_get_unique_name(connection_);
    return name ? name : "";
}

std::variant<BusDict, BusError> GioPortalBus::properties() {
    GError* error = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        connection_, PORTAL, PORTAL_PATH, "org.freedesktop.DBus.Properties", "GetAll",
        g_variant_new("(s)", SCREEN_CAST), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr, &error));
    if (!reply) return busError(error);
    VariantPtr dict(g_variant_get_child_value(reply.get(), 0));
    return dictFrom(dict.get());
}

void GioPortalBus::watchRequest(const std::string& path) {
    const unsigned id = onLoop(context_, [&] {
        return g_dbus_connection_signal_subscribe(
            connection_, PORTAL, "org.freedesktop.portal.Request", "Response", path.c_str(),
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onResponse, this, nullptr);
    });
    std::lock_guard lock(mutex_);
    requestWatches_.emplace(path, id);
}

std::variant<ObjectPath, BusError> GioPortalBus::request(const std::string& method,
                                                         const BusList& args) {
    GError* error = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        connection_, PORTAL, PORTAL_PATH, SCREEN_CAST, method.c_str(), tupleOf(args),
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error));
    if (!reply) return busError(error);
    const gchar* handle = nullptr;
    g_variant_get(reply.get(), "(&o)", &handle);
    return ObjectPath{handle};
}

std::variant<RequestResponse, BusError> GioPortalBus::waitResponse(const std::string& path) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return responses_.count(path) || !goneWhy_.empty(); });
    const auto it = responses_.find(path);
    if (it == responses_.end())
        return BusError{"org.freedesktop.DBus.Error.Disconnected", goneWhy_};
    RequestResponse response = std::move(it->second);
    responses_.erase(it);
    return response;
}

std::variant<UniqueFd, BusError> GioPortalBus::openPipeWireRemote(const ObjectPath& session) {
    GError* error = nullptr;
    GUnixFDList* fds = nullptr;
    VariantPtr reply(g_dbus_connection_call_with_unix_fd_list_sync(
        connection_, PORTAL, PORTAL_PATH, SCREEN_CAST, "OpenPipeWireRemote",
        g_variant_new("(o@a{sv})", session.value.c_str(),
                      g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &fds, nullptr, &error));
    if (!reply) return busError(error);
    gint32 index = -1;
    g_variant_get(reply.get(), "(h)", &index);
    const int fd = fds ? g_unix_fd_list_get(fds, index, &error) : -1;
    if (fds) g_object_unref(fds);
    if (fd < 0) {
        if (error) return busError(error);
        return BusError{"", "the portal sent no file descriptor"};
    }
    return UniqueFd(fd);
}

void GioPortalBus::watchSession(const ObjectPath& session, std::function<void()> closed) {
    {
        std::lock_guard lock(mutex_);
        sessionClosed_ = std::move(closed);
    }
    const unsigned id = onLoop(context_, [&] {
        return g_dbus_connection_signal_subscribe(
            connection_, PORTAL, "org.freedesktop.portal.Session", "Closed", session.value.c_str(),
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onSessionClosed, this, nullptr);
    });
    std::lock_guard lock(mutex_);
    otherWatches_.push_back(id);
}

void GioPortalBus::closeSession(const ObjectPath& session) {
    VariantPtr reply(g_dbus_connection_call_sync(
        connection_, PORTAL, session.value.c_str(), "org.freedesktop.portal.Session", "Close",
        nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, CLOSE_TIMEOUT_MS, nullptr, nullptr));
}

void GioPortalBus::onResponse(GDBusConnection*, const char*, const char* path, const char*,
                              const char*, GVariant* params, void* self) {
    auto* bus = static_cast<GioPortalBus*>(self);
    if (!g_variant_is_of_type(params, G_VARIANT_TYPE("(ua{sv})"))) return;
    RequestResponse response;
    VariantPtr code(g_variant_get_child_value(params, 0));
    VariantPtr results(g_variant_get_child_value(params, 1));
    response.code = g_variant_get_uint32(code.get());
    response.results = dictFrom(results.get());
    {
        std::lock_guard lock(bus->mutex_);
        bus->responses_.insert_or_assign(path, std::move(response));
    }
    bus->changed_.notify_all();
}

void GioPortalBus::onOwnerChanged(GDBusConnection*, const char*, const char*, const char*,
                                  const char*, GVariant* params, void* self) {
    const gchar* newOwner = "";
    g_variant_get(params, "(&s&s&s)", nullptr, nullptr, &newOwner);
    if (*newOwner == '\0') static_cast<GioPortalBus*>(self)->gone("the portal has gone away");
}

void GioPortalBus::onSessionClosed(GDBusConnection*, const char*, const char*, const char*,
                                   const char*, GVariant*, void* self) {
    auto* bus = static_cast<GioPortalBus*>(self);
    std::function<void()> closed;
    {
        std::lock_guard lock(bus->mutex_);
        closed = std::move(bus->sessionClosed_);
    }
    if (closed) closed();
}

void GioPortalBus::onConnectionClosed(GDBusConnection*, int, void*, void* self) {
    static_cast<GioPortalBus*>(self)->gone("the session bus has gone away");
}

// Ends the waits for responses. A running stream belongs to the compositor and PipeWire, so
// it is left to say itself whether it ends.
void GioPortalBus::gone(std::string why) {
    {
        std::lock_guard lock(mutex_);
        if (goneWhy_.empty()) goneWhy_ = std::move(why);
    }
    changed_.notify_all();
}

}  // namespace hc
