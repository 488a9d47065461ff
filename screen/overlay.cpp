#include "overlay.h"

#include <algorithm>
#include <numeric>

namespace hc {

Rect intersect(const Rect& a, const Rect& b) {
    const int left = std::max(a.x, b.x);
    const int top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width);
    const int bottom = std::min(a.y + a.height, b.y + b.height);
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

std::vector<Rect> subtract(const Rect& a, const Rect& b) {
    const Rect cut = intersect(a, b);
    if (cut.empty()) return a.empty() ? std::vector<Rect>{} : std::vector<Rect>{a};
    std::vector<Rect> parts;
    const auto add = [&](Rect r) {
        if (!r.empty()) parts.push_back(r);
    };
    add({a.x, a.y, a.width, cut.y - a.y});                                           // above
    add({a.x, cut.y + cut.height, a.width, a.y + a.height - cut.y - cut.height});    // below
    add({a.x, cut.y, cut.x - a.x, cut.height});                                      // left
    add({cut.x + cut.width, cut.y, a.x + a.width - cut.x - cut.width, cut.height});  // right
    return parts;
}

Rect bounding(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    const int right = std::max(a.x + a.width, b.x + b.width);
    const int bottom = std::max(a.y + a.height, b.y + b.height);
    return {left, top, right - left, bottom - top};
}

namespace {

long long area(const Rect& r) {
    return r.empty() ? 0 : static_cast<long long>(r.width) * r.height;
}

}  // namespace

std::vector<Rect> simplifyRegion(std::vector<Rect> rects, const Rect& bounds,
                                 std::size_t maxRects) {
    std::vector<Rect> kept;
    for (const Rect& r : rects) {
        const Rect c = intersect(r, bounds);
        if (!c.empty()) kept.push_back(c);
    }
    // Many small pieces (text drawn glyph by glyph): one rectangle around them all.
    if (kept.size() > 4 * maxRects)
        kept = {std::accumulate(kept.begin(), kept.end(), Rect{}, bounding)};
    // Merge the pair whose bounding rectangle adds the least area until few enough are left.
    while (kept.size() > std::max<std::size_t>(maxRects, 1)) {
        std::size_t bestI = 0, bestJ = 1;
        long long bestCost = -1;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            for (std::size_t j = i + 1; j < kept.size(); ++j) {
                const long long cost =
                    area(bounding(kept[i], kept[j])) - area(kept[i]) - area(kept[j]);
                if (bestCost < 0 || cost < bestCost) {
                    bestCost = cost;
                    bestI = i;
                    bestJ = j;
                }
            }
        }
        kept[bestI] = bounding(kept[bestI], kept[bestJ]);
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(bestJ));
    }
    long long covered = 0;
    for (const Rect& r : kept) covered += area(r);
    if (covered * 4 > area(bounds) * 3) return {bounds};
    return kept;
}

std::vector<Rect> coverRects(const std::vector<StackedWindow>& stack, const Rect& area) {
    std::vector<Rect> result;
    for (std::size_t i = 0; i < stack.size(); ++i) {
        if (!stack[i].hidden) continue;
        std::vector<Rect> visible{intersect(stack[i].rect, area)};
        for (std::size_t above = i + 1; above < stack.size() && !visible.empty(); ++above) {
            std::vector<Rect> rest;
            for (const Rect& part : visible) {
                for (const Rect& r : subtract(part, stack[above].rect)) rest.push_back(r);
            }
            visible = std::move(rest);
        }
        for (const Rect& r : visible) {
            if (!r.empty()) result.push_back({r.x - area.x, r.y - area.y, r.width, r.height});
        }
    }
    return result;
}

void paintOver(BgrxImage image, const std::vector<Rect>& rects) {
    const Rect whole{0, 0, image.width, image.height};
    for (const Rect& rect : rects) {
        const Rect r = intersect(rect, whole);
        for (int row = r.y; row < r.y + r.height; ++row) {
            std::uint8_t* p = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
            std::fill(p + r.x * 4, p + (r.x + r.width) * 4, COVER_GREY);
        }
    }
}

namespace {

// dst = src + dst × (1 - alpha), for one channel of premultiplied src.
std::uint8_t over(std::uint32_t src, std::uint32_t alpha, std::uint8_t dst) {
    const std::uint32_t v = src + (dst * (255 - alpha) + 127) / 255;
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(v, 255));
}

}  // namespace

void drawCursor(BgrxImage image, const CursorImage& cursor, int x, int y) {
    if (cursor.width <= 0 || cursor.height <= 0) return;
    if (cursor.argb.size() < static_cast<std::size_t>(cursor.width) * cursor.height) return;
    const int left = x - cursor.hotX;
    const int top = y - cursor.hotY;
    const Rect r =
        intersect({left, top, cursor.width, cursor.height}, {0, 0, image.width, image.height});
    for (int row = r.y; row < r.y + r.height; ++row) {
        std::uint8_t* dst = image.pixels + static_cast<std::ptrdiff_t>(row) * image.stride;
        const std::uint32_t* src = cursor.argb.data() + (row - top) * cursor.width;
        for (int col = r.x; col < r.x + r.width; ++col) {
            const std::uint32_t c = src[col - left];
            const std::uint32_t alpha = c >> 24;
            if (alpha == 0 && (c & 0xFFFFFF) == 0) continue;
            std::uint8_t* px = dst + col * 4;
            px[0] = over(c & 0xFF, alpha, px[0]);
            px[1] = over((c >> 8) & 0xFF, alpha, px[1]);
            px[2] = over((c >> 16) & 0xFF, alpha, px[2]);
        }
    }
}

}  // namespace hc
