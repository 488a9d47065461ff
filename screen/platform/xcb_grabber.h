// Copies of a rectangle of the root window in memory the caller may draw on, brought up to
// date a part at a time.
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

// How the root window's pixels are laid out in a 32-bit word.
enum class PixelLayout {
    Bgrx8,  // 8 bits per colour: blue, green, red, unused in memory (depth 24 or 32)
    Rgb10,  // 10 bits per colour, red highest (depth 30), converted to Bgrx8 when grabbed
};

// The root's layout; a failure naming the format when it is none of the above.
std::variant<PixelLayout, Failure> pixelLayout(xcb_connection_t* c, const xcb_screen_t& screen);

// Keeps a copy of a rectangle of the root window (the area) in memory and brings parts of it
// up to date on request: through a MIT-SHM segment when the server can share memory with us,
// else through plain GetImage. Used from one thread at a time.
class Grabber {
  public:
    // For grabs of `area` of `root`; fails when the root's pixel format is not one we read.
    static std::variant<Grabber, Failure> create(xcb_connection_t* c, const xcb_screen_t& screen,
                                                 const Rect& area);

    // Copies `rect` (area coordinates, inside the area) of the screen into the image; false
    // when the server refused (for example while the screen is being resized).
    bool grab(const Rect& rect);
    // The area as grabbed so far (and drawn on since), blue, green, red, unused; 8 bits each.
    BgrxImage image() const { return {pixels_, area_.width, area_.height, area_.width * 4}; }
    const Rect& area() const { return area_; }

  private:
    Grabber(xcb_connection_t* c, xcb_window_t root, Rect area, PixelLayout layout)
        : c_(c), root_(root), area_(area), layout_(layout) {}
    bool fetch(const Rect& rect, std::uint8_t* into);  // packed rows of rect.width
    void convert(const Rect& rect);

    xcb_connection_t* c_;
    xcb_window_t root_;
    Rect area_;
    PixelLayout layout_;
    // With shared memory, one segment holds the image and, after it, room for a grab that
    // cannot land in place; without it, both are plain memory.
    std::shared_ptr<ShmSegment> shm_;  // shared so that the grabber can be moved
    std::vector<std::uint8_t> memory_;
    std::uint8_t* pixels_ = nullptr;
    std::uint8_t* scratch_ = nullptr;
};

}  // namespace hc::xcb
