// Catches a capture that delivers nothing but black while claiming a live screen (a wrong
// display, a compositor that hands out empty buffers), which would otherwise record a black
// video under "recording".
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "picture.h"
#include "screen_source.h"

namespace hc {

inline constexpr double BLACK_START_WINDOW = 3.0;  // seconds after the first complete frame
inline constexpr std::string_view BLACK_START =
    "warning: every frame of the first 3 seconds is black: the screen is probably not being "
    "captured (check the display or the screen-sharing set-up)";

// True when the picture is black apart from what a pointer drawn into it may cover: all but at
// most 1 % of its pixels (and never more than 64 × 64) have Y' at or below 16 and Cb and Cr
// at 128.
bool isBlack(const Picture& picture);

// Follows the frames of one capture, on the capture thread.
class BlackStart {
  public:
    // True once, at the first frame at least BLACK_START_WINDOW after the first complete one,
    // when every complete frame until then was black.
    bool allBlackSoFar(const Frame& frame);

  private:
    std::optional<double> first_;
    bool colour_ = false;
    bool decided_ = false;
};

// `source` with its frames watched: they pass to the recorder unchanged, and `warn` is
// called once (on the capture thread) when the first seconds were black.
std::unique_ptr<ScreenSource> watchForBlack(std::unique_ptr<ScreenSource> source,
                                            std::function<void(std::string_view)> warn);

}  // namespace hc
