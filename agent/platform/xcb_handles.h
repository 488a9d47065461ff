// Owners for xcb's C handles in the agent's X11 adapters: replies and events are malloc'd and
// freed with free(); a connection is closed with xcb_disconnect().
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace qv {

struct FreeXcb {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeXcb>;

// Takes ownership of a reply or event (nullptr stays empty).
template <typename T>
XcbReply<T> own(T* r) {
    return XcbReply<T>(r);
}

struct DisconnectXcb {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, DisconnectXcb>;

}  // namespace qv
