#include "capture_rules.h"

#include <algorithm>
#include <chrono>

namespace hc {

namespace {

int evenPart(double length) {
    return static_cast<int>(length) / 2 * 2;
}

}  // namespace

FrameSize frameSize(int displayWidth, int displayHeight) {
    const double scale = std::min(static_cast<double>(WIDEST_FRAME) / displayWidth, 1.0);
    return {evenPart(displayWidth * scale), evenPart(displayHeight * scale)};
}

std::optional<Display> chooseDisplay(const ShareableContent& content) {
    if (content.displays.empty()) return std::nullopt;
    if (content.mainId) {
        for (const Display& d : content.displays)
            if (d.id == *content.mainId) return d;
    }
    return content.displays.front();
}

bool counts(const Frame& frame) {
    return frame.status == FrameStatus::Complete && frame.picture != nullptr;
}

bool CheckSchedule::due(double t) {
    if (t - lastCheckAt_ < CHECK_INTERVAL) return false;
    lastCheckAt_ = t;
    return true;
}

void PictureChange::add(const PictureChange& next) {
    // Beyond this many rectangles (pictures the encoder never took, one after the other) the
    // list costs more than it saves.
    constexpr std::size_t MOST = 256;
    if (whole) return;
    if (next.whole || rects.size() + next.rects.size() > MOST) {
        *this = PictureChange{};
        return;
    }
    rects.insert(rects.end(), next.rects.begin(), next.rects.end());
}

double captureClockNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isHiddenApplication(std::string_view applicationId) {
    return applicationId.starts_with(HIDDEN_PREFIX);
}

}  // namespace hc
