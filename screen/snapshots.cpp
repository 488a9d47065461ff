#include "snapshots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace hc {

namespace {

// Mean of the samples of one plane inside the cell [x0, x1) × [y0, y1).
int cellMean(const Picture& picture, int plane, int x0, int x1, int y0, int y1) {
    const std::uint8_t* base = picture.plane(plane);
    const int stride = picture.stride(plane);
    long sum = 0;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* row = base + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = x0; x < x1; ++x) sum += row[x];
    }
    const long count = static_cast<long>(x1 - x0) * (y1 - y0);
    return count > 0 ? static_cast<int>((sum + count / 2) / count) : 0;
}

// Bounds of cell `i` of `cells` along a side of `length` samples; never empty while
// length >= cells, and one sample wide otherwise.
std::pair<int, int> cellSpan(int i, int cells, int length) {
    int from = i * length / cells;
    int to = (i + 1) * length / cells;
    if (to <= from) to = std::min(from + 1, length);
    if (from >= length) from = length - 1;
    return {from, to};
}

std::uint8_t channel(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// BT.601 limited-range Y'CbCr to grey (r + g + b) / 3.
std::uint8_t grey(int y, int cb, int cr) {
    const double l = 1.164 * (y - 16);
    const int r = channel(l + 1.596 * (cr - 128));
    const int g = channel(l - 0.392 * (cb - 128) - 0.813 * (cr - 128));
    const int b = channel(l + 2.017 * (cb - 128));
    return static_cast<std::uint8_t>((r + g + b) / 3);
}

}  // namespace

std::vector<std::uint8_t> greyThumbnail(const Picture& picture) {
    std::vector<std::uint8_t> thumb(THUMB_PIXELS, 0);
    if (picture.width() < 2 || picture.height() < 2) return thumb;
    const int cw = picture.width() / 2;
    const int ch = picture.height() / 2;
    for (int ty = 0; ty < THUMB_HEIGHT; ++ty) {
        const auto [y0, y1] = cellSpan(ty, THUMB_HEIGHT, picture.height());
        const auto [cy0, cy1] = cellSpan(ty, THUMB_HEIGHT, ch);
        for (int tx = 0; tx < THUMB_WIDTH; ++tx) {
            const auto [x0, x1] = cellSpan(tx, THUMB_WIDTH, picture.width());
            const auto [cx0, cx1] = cellSpan(tx, THUMB_WIDTH, cw);
            thumb[ty * THUMB_WIDTH + tx] =
                grey(cellMean(picture, 0, x0, x1, y0, y1), cellMean(picture, 1, cx0, cx1, cy0, cy1),
                     cellMean(picture, 2, cx0, cx1, cy0, cy1));
        }
    }
    return thumb;
}

bool changedEnough(const std::vector<std::uint8_t>& now, const std::vector<std::uint8_t>& last) {
    const std::size_t n = std::min(now.size(), last.size());
    int changed = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::abs(int{now[i]} - int{last[i]}) >= CHANGED_LEVELS) ++changed;
    }
    return changed / static_cast<double>(THUMB_PIXELS) > CHANGED_SHARE;
}

std::string stillName(double t) {
    char name[32];
    std::snprintf(name, sizeof name, "t%05lld.jpg", static_cast<long long>(t));
    return name;
}

Snapshots::Snapshots(std::filesystem::path folder, JpegEncoder& encoder)
    : folder_(std::move(folder)), encoder_(encoder) {}

void Snapshots::snapIfChanged(const Picture& picture, double t) {
    std::vector<std::uint8_t> thumb = greyThumbnail(picture);
    if (!lastThumb_.empty() && !changedEnough(thumb, lastThumb_)) return;
    if (t - lastSnapAt_ < STILL_SPACING) return;
    // Counted as taken before it is made: a still that fails is not retried at once.
    lastThumb_ = std::move(thumb);
    lastSnapAt_ = t;
    const std::optional<std::vector<std::uint8_t>> jpeg = encoder_.encode(picture);
    if (!jpeg) return;
    // Written in place; a folder that is gone or full only costs this still.
    std::ofstream out(folder_ / stillName(t), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(jpeg->data()),
              static_cast<std::streamsize>(jpeg->size()));
}

}  // namespace hc
