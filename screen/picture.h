// The picture of one captured frame, as the recorder hands it to the video and the stills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hc {

// 8-bit Y'CbCr 4:2:0 with BT.601 coefficients and limited range (16-235 for Y'), the form
// H.264 players assume when a stream says nothing else. Width and height are even; the
// three planes (Y', Cb, Cr) are tightly packed one after the other. Plain value; not shared
// between threads while written.
class Picture {
  public:
    Picture() = default;
    Picture(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    // Plane 0 is Y' (width × height), planes 1 and 2 are Cb and Cr (half width × half height).
    std::uint8_t* plane(int i) { return bytes_.data() + offset(i); }
    const std::uint8_t* plane(int i) const { return bytes_.data() + offset(i); }
    int stride(int i) const { return i == 0 ? width_ : width_ / 2; }
    int planeHeight(int i) const { return i == 0 ? height_ : height_ / 2; }

    // Fills every pixel with one colour given as Y', Cb, Cr.
    void fill(std::uint8_t y, std::uint8_t cb, std::uint8_t cr);

  private:
    std::size_t offset(int i) const;

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace hc
