#include "stream_cover.h"

#include <algorithm>
#include <cstdint>

namespace hc {

namespace {

int floorDiv(long long a, long long b) {
    return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b));
}
int ceilDiv(long long a, long long b) {
    return -floorDiv(-a, b);
}

}  // namespace

std::vector<Rect> toFrame(const std::vector<Rect>& rects, const Rect& area, int frameWidth,
                          int frameHeight) {
    std::vector<Rect> result;
    if (area.empty()) return result;
    const Rect frame{0, 0, frameWidth, frameHeight};
    for (const Rect& r : rects) {
        const int left = floorDiv(static_cast<long long>(r.x) * frameWidth, area.width);
        const int top = floorDiv(static_cast<long long>(r.y) * frameHeight, area.height);
        const int right = ceilDiv(static_cast<long long>(r.x + r.width) * frameWidth, area.width);
        const int bottom =
            ceilDiv(static_cast<long long>(r.y + r.height) * frameHeight, area.height);
        const Rect scaled = intersect({left, top, right - left, bottom - top}, frame);
        if (!scaled.empty()) result.push_back(scaled);
    }
    return result;
}

}  // namespace hc
