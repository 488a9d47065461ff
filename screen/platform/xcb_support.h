// Ownership of xcb's C handles, and the few queries the screen source shares.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace hc::xcb {

// xcb hands out replies, events and errors allocated with malloc; the caller frees them.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, FreeDeleter>;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

// Connects to the display named by the environment. On failure `connection` is empty and
// `error` says why, naming the display.
struct Opened {
    Connection connection;
    xcb_screen_t* screen = nullptr;  // owned by the connection
    std::string error;
};
Opened openDisplay();

}  // namespace hc::xcb
