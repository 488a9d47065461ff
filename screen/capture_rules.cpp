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

double captureClockNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isHiddenApplication(std::string_view applicationId) {
    return applicationId.starts_with(HIDDEN_PREFIX);
}

}  // namespace hc
