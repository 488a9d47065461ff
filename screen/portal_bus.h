// The few D-Bus operations the ScreenCast portal conversation needs, behind an interface so
// that the conversation can be tested without a bus.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace hc {

struct ObjectPath {
    std::string value;
    bool operator==(const ObjectPath&) const = default;
};

// A D-Bus value as the portal exchanges them. Structs and arrays both arrive as lists;
// a{sv} dictionaries as maps with the variants unwrapped.
struct BusValue;
using BusList = std::vector<BusValue>;
using BusDict = std::map<std::string, BusValue>;

struct BusValue {
    std::variant<bool, std::uint32_t, std::int32_t, std::string, ObjectPath, BusList, BusDict> v;

    BusValue(bool b) : v(b) {}
    BusValue(std::uint32_t u) : v(u) {}
    BusValue(std::int32_t i) : v(i) {}
    BusValue(std::string s) : v(std::move(s)) {}
    BusValue(const char* s) : v(std::string(s)) {}
    BusValue(ObjectPath p) : v(std::move(p)) {}
    BusValue(BusList l) : v(std::move(l)) {}
    BusValue(BusDict d) : v(std::move(d)) {}

    // The value when it holds a T, else null.
    template <class T>
    const T* as() const {
        return std::get_if<T>(&v);
    }
    bool operator==(const BusValue&) const = default;
};

// The value under `key` when it is there and holds a T, else null.
template <class T>
const T* lookup(const BusDict& dict, const std::string& key) {
    const auto it = dict.find(key);
    return it == dict.end() ? nullptr : it->second.as<T>();
}

// A D-Bus error, or the bus itself failing ("org.freedesktop.DBus.Error.Disconnected").
struct BusError {
    std::string name;
    std::string message;
};

// The Response signal of a portal request: 0 success, 1 cancelled by the user, 2 other.
struct RequestResponse {
    std::uint32_t code = 2;
    BusDict results;
};

// An owned file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

// org.freedesktop.portal.ScreenCast on the session bus, and the request and session objects
// it hands out. Used from one thread at a time; the session-closed callback runs on a thread
// of the bus's own.
class PortalBus {
  public:
    virtual ~PortalBus() = default;
    // This connection's unique name (":1.42"), from which request paths are predicted.
    virtual std::string uniqueName() const = 0;
    // All properties of the ScreenCast interface.
    virtual std::variant<BusDict, BusError> properties() = 0;
    // Starts keeping the Response signal of the request object at `path`, so that a response
    // sent before the caller waits for it is not lost.
    virtual void watchRequest(const std::string& path) = 0;
    // Calls a ScreenCast method that answers with a request handle.
    virtual std::variant<ObjectPath, BusError> request(const std::string& method,
                                                       const BusList& args) = 0;
    // Waits for the Response of a watched request; an error when the portal or the bus goes
    // away first.
    virtual std::variant<RequestResponse, BusError> waitResponse(const std::string& path) = 0;
    // OpenPipeWireRemote: a connection to PipeWire that can see the session's streams.
    virtual std::variant<UniqueFd, BusError> openPipeWireRemote(const ObjectPath& session) = 0;
    // Runs `closed` once when the portal closes the session (the user or the compositor
    // stopped sharing). Call once.
    virtual void watchSession(const ObjectPath& session, std::function<void()> closed) = 0;
    // Asks the portal to close the session; errors are ignored.
    virtual void closeSession(const ObjectPath& session) = 0;
};

}  // namespace hc
