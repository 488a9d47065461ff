// Turns a screen image (32-bit BGRx) into the frame picture (Y'CbCr 4:2:0), scaled by area
// averaging, one rectangle at a time: each output pixel is the mean of the source pixels its
// footprint covers, so any part of the picture can be brought up to date on its own and
// matches what scaling the whole image would give. Pure; any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "overlay.h"
#include "picture.h"

namespace hc {

// Where a source of srcWidth × srcHeight goes inside a frame of frameWidth × frameHeight: the
// largest centred rectangle of the source's shape, with even position and size (the frame
// itself when the shapes match). The rest of the frame stays black.
Rect fitInto(int srcWidth, int srcHeight, int frameWidth, int frameHeight);

// Where red lies in a screen image's 32-bit pixels: third (blue, green, red, unused: what X
// servers and most compositors deliver) or first (red, green, blue, unused).
enum class ChannelOrder { Bgrx, Rgbx };

class AreaScaler {
  public:
    // From images of srcWidth × srcHeight, whose pixels are in `order`, to `target`, an
    // even-aligned rectangle of pictures.
    AreaScaler(int srcWidth, int srcHeight, const Rect& target,
               ChannelOrder order = ChannelOrder::Bgrx);

    const Rect& target() const { return target_; }

    // The output rectangle (picture coordinates, even-aligned, inside the target) whose pixels
    // depend on the source rectangle `changed`; empty when none do.
    Rect outputFor(const Rect& changed) const;

    // Computes the pixels of `out` (from outputFor) in `picture` from `image`, which has the
    // source size.
    void scale(const BgrxImage& image, Picture& picture, const Rect& out) const;

  private:
    // For each output column (or row): the first source pixel it averages and `count` weights
    // summing to 256 (zero where it covers less). Every output pixel has the same number of
    // taps, and they all lie inside the source, so the loops need no bounds.
    struct Taps {
        int count = 0;
        std::vector<int> first;
        std::vector<std::uint16_t> weights;  // count per output pixel
    };
    static Taps taps(int srcLength, int dstLength);
    template <int RED>
    void scaleRow(const BgrxImage& image, int row, int x0, int x1, std::uint16_t* sums,
                  std::uint16_t* rgb) const;

    int srcWidth_;
    int srcHeight_;
    Rect target_;
    int red_;  // the byte of a pixel that holds red: 2 or 0
    Taps columns_;
    Taps rows_;
    // With two taps per column: each column's two weights, each repeated for the four bytes of
    // a pixel (eight values per column).
    std::vector<std::uint16_t> pairWeights_;
};

// Paints the picture black (Y' 16, neutral chroma) outside `keep`.
void blackOutside(Picture& picture, const Rect& keep);

}  // namespace hc
