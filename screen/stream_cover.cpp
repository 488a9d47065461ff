#include "stream_cover.h"

#include <algorithm>
#include <cstdint>

namespace hc {

namespace {

// COVER_GREY (the same grey on all three channels) as BT.601 limited-range Y'CbCr.
constexpr std::uint8_t COVER_LUMA = 16 + (219 * COVER_GREY + 127) / 255;
constexpr std::uint8_t COVER_CHROMA = 128;

int floorDiv(long long a, long long b) {
    return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b));
}
int ceilDiv(long long a, long long b) {
    return -floorDiv(-a, b);
}

void fillPlane(Picture& picture, int plane, const Rect& r, std::uint8_t value) {
    for (int row = r.y; row < r.y + r.height; ++row) {
        std::uint8_t* p =
            picture.plane(plane) + static_cast<std::ptrdiff_t>(row) * picture.stride(plane);
        std::fill(p + r.x, p + r.x + r.width, value);
    }
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

void paintOver(Picture& picture, const std::vector<Rect>& rects) {
    const Rect whole{0, 0, picture.width(), picture.height()};
    for (const Rect& rect : rects) {
        Rect r = intersect(rect, whole);
        if (r.empty()) continue;
        const int left = r.x / 2 * 2;
        const int top = r.y / 2 * 2;
        const int right = std::min((r.x + r.width + 1) / 2 * 2, picture.width());
        const int bottom = std::min((r.y + r.height + 1) / 2 * 2, picture.height());
        r = {left, top, right - left, bottom - top};
        fillPlane(picture, 0, r, COVER_LUMA);
        const Rect half{r.x / 2, r.y / 2, r.width / 2, r.height / 2};
        fillPlane(picture, 1, half, COVER_CHROMA);
        fillPlane(picture, 2, half, COVER_CHROMA);
    }
}

}  // namespace hc
