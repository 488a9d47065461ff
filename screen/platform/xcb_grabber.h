// Copies a rectangle of the root window into memory the caller may draw on: through a
// MIT-SHM segment when the server can share memory with us, else through plain GetImage.
// Used from one thread at a time.
#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "overlay.h"
#include "screen_source.h"

namespace hc::xcb {

// A System V shared-memory segment attached to this process and to the X server. It is
// marked for removal as soon as both are attached, so nothing outlives the process.
class ShmSegment {
  public:
    static std::unique_ptr<ShmSegment> create(xcb_connection_t* c, std::size_t size);
    ~ShmSegment();
    ShmSegment(const ShmSegment&) = delete;
    ShmSegment& operator=(const ShmSegment&) = delete;

    xcb_shm_seg_t id() const { return seg_; }
    std::uint8_t* data() const { return data_; }

  private:
    ShmSegment(xcb_connection_t* c, xcb_shm_seg_t seg, std::uint8_t* data)
        : c_(c), seg_(seg), data_(data) {}

    xcb_connection_t* c_;
    xcb_shm_seg_t seg_;
    std::uint8_t* data_;
};

class Grabber {
  public:
    // For grabs of `area` of `root`. Fails unless the root's pixels are 32-bit, least
    // significant byte first (blue, green, red, unused in memory).
    static std::variant<Grabber, Failure> create(xcb_connection_t* c, const xcb_screen_t& screen,
                                                 const Rect& area);

    // The current contents of the area, valid until the next grab; nothing when the server
    // refused (for example while the screen is being resized).
    std::optional<BgrxImage> grab();

  private:
    Grabber(xcb_connection_t* c, xcb_window_t root, Rect area) : c_(c), root_(root), area_(area) {}

    xcb_connection_t* c_;
    xcb_window_t root_;
    Rect area_;
    std::shared_ptr<ShmSegment> shm_;   // shared so that the grabber can be moved
    std::vector<std::uint8_t> buffer_;  // when there is no shared memory
};

}  // namespace hc::xcb
