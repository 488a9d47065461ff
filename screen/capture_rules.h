// What the recorder captures: which display, at which size, without which applications.
// Pure functions; any thread.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "screen_source.h"

namespace hc {

inline constexpr int WIDEST_FRAME = 1600;
inline constexpr double FRAME_INTERVAL = 1.0 / 5.0;  // seconds, at least
inline constexpr int CAPTURE_QUEUE_DEPTH = 6;
inline constexpr std::string_view HIDDEN_PREFIX = "com.lumaret.";
inline constexpr double CHECK_INTERVAL = 2.0;  // seconds of video time between change tests
// While the screen stays still, the last picture is written again this often (seconds of video
// time), so that the video keeps the recording's length even when the process is killed.
inline constexpr double REPEAT_INTERVAL = 10.0;

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// The display scaled down to at most 1600 pixels wide, keeping its shape; both sides even.
FrameSize frameSize(int displayWidth, int displayHeight);

// The main display, else the first one listed; nothing when there are no displays.
std::optional<Display> chooseDisplay(const ShareableContent& content);

// Whether a frame counts: only complete frames with a picture are written and tested.
bool counts(const Frame& frame);

// When the change test is due: at the first complete frame, then at the first one at least
// 2 s of video time after the previous test.
class CheckSchedule {
  public:
    bool due(double t);

  private:
    double lastCheckAt_ = -100.0;
};

// True for this system's own applications ("com.lumaret." and more, compared exactly).
bool isHiddenApplication(std::string_view applicationId);

}  // namespace hc
