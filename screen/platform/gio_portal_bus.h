// The ScreenCast portal on the session bus, through GDBus (GLib). Calls are made on the
// caller's thread; signals are received on a thread of this object's own, which runs a
// private GLib main context.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <variant>

#include "portal_bus.h"
#include "screen_source.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

namespace hc {

class GioPortalBus final : public PortalBus {
  public:
    // Connects to the session bus named by the environment.
    static std::variant<std::unique_ptr<GioPortalBus>, Failure> connect();
    ~GioPortalBus() override;
    GioPortalBus(const GioPortalBus&) = delete;
    GioPortalBus& operator=(const GioPortalBus&) = delete;

    std::string uniqueName() const override;
    std::variant<BusDict, BusError> properties() override;
    void watchRequest(const std::string& path) override;
    std::variant<ObjectPath, BusError> request(const std::string& method,
                                               const BusList& args) override;
    std::variant<RequestResponse, BusError> waitResponse(const std::string& path) override;
    std::variant<UniqueFd, BusError> openPipeWireRemote(const ObjectPath& session) override;
    void watchSession(const ObjectPath& session, std::function<void()> closed) override;
    void closeSession(const ObjectPath& session) override;

  private:
    GioPortalBus(GDBusConnection* connection, GMainContext* context);
    static void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*,
                           GVariant*, void*);
    static void onOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant*, void*);
    static void onSessionClosed(GDBusConnection*, const char*, const char*, const char*,
                                const char*, GVariant*, void*);
    static void onConnectionClosed(GDBusConnection*, int, void*, void*);
    void gone(std::string why);

    GDBusConnection* connection_;
    GMainContext* context_;
    GMainLoop* loop_;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, unsigned> requestWatches_;    // request path -> subscription
    std::map<std::string, RequestResponse> responses_;  // arrived, not yet collected
    std::string goneWhy_;                               // the portal or the bus went away
    std::function<void()> sessionClosed_;
    std::vector<unsigned> otherWatches_;
};

}  // namespace hc
