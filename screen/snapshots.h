// Change-triggered stills: a full-size JPEG whenever the screen has changed noticeably since
// the last still, at most once every 4 seconds of video time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jpeg_encoder.h"
#include "overlay.h"
#include "picture.h"

namespace hc {

inline constexpr int THUMB_WIDTH = 48;
inline constexpr int THUMB_HEIGHT = 27;
inline constexpr int THUMB_PIXELS = THUMB_WIDTH * THUMB_HEIGHT;  // 1296
inline constexpr int CHANGED_LEVELS = 19;                        // grey levels, either way
inline constexpr double CHANGED_SHARE = 0.06;                    // of the thumbnail's pixels
inline constexpr double STILL_SPACING = 4.0;                     // seconds

// The picture shrunk to 48 × 27 by area averaging, one grey byte ((r + g + b) / 3) per pixel,
// rows top to bottom.
std::vector<std::uint8_t> greyThumbnail(const Picture& picture);

// The same thumbnail of a captured screen image, straight from its colours.
std::vector<std::uint8_t> greyThumbnail(const BgrxImage& image);

// The thumbnail of a screen image that changes a rectangle at a time: keeps each cell's colour
// sums, so that a change costs only the cells it touches. Used from one thread at a time.
class ThumbnailCells {
  public:
    ThumbnailCells(int width, int height);
    // Recomputes the cells that `changed` (image coordinates) touches; `image` has the size
    // given at construction.
    void update(const BgrxImage& image, const Rect& changed);
    std::vector<std::uint8_t> grey() const;

  private:
    struct Sums {
        std::uint64_t b = 0, g = 0, r = 0, count = 0;
    };
    int width_;
    int height_;
    std::vector<Sums> cells_;
};

// True when more than 6 % of the pixels (78 or more of 1296) differ by 19 grey levels or more.
bool changedEnough(const std::vector<std::uint8_t>& now, const std::vector<std::uint8_t>& last);

// "t" + whole seconds of `t`, at least five digits, + ".jpg": 7.99 gives "t00007.jpg".
std::string stillName(double t);

// Writes a still's bytes to `folder`/`name` so that the name never holds a partial file; a
// failure leaves nothing behind and is not reported.
void writeStill(const std::filesystem::path& folder, const std::string& name,
                const std::vector<std::uint8_t>& bytes);

// Owned by the recorder and used only on its sample queue.
class Snapshots {
  public:
    Snapshots(std::filesystem::path folder, JpegEncoder& encoder);

    // Saves a still of `picture` (taken at `t` seconds of video time) when it differs enough
    // from the last still and that still is at least 4 s old. `thumbnail` is the captured
    // picture's grey thumbnail; when empty, it is made from `picture`. Failures are silent: a
    // still that cannot be encoded or written is skipped, but still counts as taken.
    void snapIfChanged(const Picture& picture, const std::vector<std::uint8_t>& thumbnail,
                       double t);

    double lastSnapAt() const { return lastSnapAt_; }

  private:
    std::filesystem::path folder_;
    JpegEncoder& encoder_;
    std::vector<std::uint8_t> lastThumb_;
    double lastSnapAt_ = -100.0;
};

}  // namespace hc
