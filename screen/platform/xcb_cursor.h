// The pointer's position and cursor image (XFixes), for drawing the cursor into frames.
// Used from the capture thread only.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>

#include "overlay.h"

namespace hc::xcb {

class CursorWatch {
  public:
    // Nothing when the server has no XFixes extension.
    static std::unique_ptr<CursorWatch> create(xcb_connection_t* c);

    // Reads the pointer; true when it moved or changed shape since the previous read.
    bool read();
    // Screen coordinates of the pointer as of the last read.
    int x() const { return x_; }
    int y() const { return y_; }
    const CursorImage& image() const { return image_; }

  private:
    explicit CursorWatch(xcb_connection_t* c) : c_(c) {}

    xcb_connection_t* c_;
    int x_ = -1;
    int y_ = -1;
    std::uint32_t serial_ = 0;
    CursorImage image_;
};

}  // namespace hc::xcb
