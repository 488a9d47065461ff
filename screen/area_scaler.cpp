#include "area_scaler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace hc {

namespace {

int evenDown(int v) {
    return v / 2 * 2;
}

int evenUp(int v) {
    return (v + 1) / 2 * 2;
}

// BT.601 with limited range, as the encoder is told (8-bit fixed point).
std::uint8_t lumaOf(int r, int g, int b) {
    return static_cast<std::uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
std::uint8_t cbOf(int r, int g, int b) {
    return static_cast<std::uint8_t>((-38 * r - 74 * g + 112 * b + 128 + (128 << 8)) >> 8);
}
std::uint8_t crOf(int r, int g, int b) {
    return static_cast<std::uint8_t>((112 * r - 94 * g - 18 * b + 128 + (128 << 8)) >> 8);
}

}  // namespace

Rect fitInto(int srcWidth, int srcHeight, int frameWidth, int frameHeight) {
    if (srcWidth <= 0 || srcHeight <= 0) return {0, 0, frameWidth, frameHeight};
    // Compare the shapes exactly: srcWidth / srcHeight against frameWidth / frameHeight.
    const std::int64_t wide = std::int64_t{srcWidth} * frameHeight;
    const std::int64_t tall = std::int64_t{srcHeight} * frameWidth;
    int width = frameWidth;
    int height = frameHeight;
    if (wide > tall) height = static_cast<int>(std::int64_t{frameWidth} * srcHeight / srcWidth);
    if (wide < tall) width = static_cast<int>(std::int64_t{frameHeight} * srcWidth / srcHeight);
    width = std::max(2, evenDown(width));
    height = std::max(2, evenDown(height));
    return {evenDown((frameWidth - width) / 2), evenDown((frameHeight - height) / 2), width,
            height};
}

AreaScaler::Taps AreaScaler::taps(int srcLength, int dstLength) {
    // Positions in units of 1/dstLength of a source pixel: output pixel j covers
    // [j × srcLength, (j + 1) × srcLength), source pixel k covers [k × dstLength, ...).
    Taps t;
    const auto firstOf = [&](int j) {
        return static_cast<int>(std::int64_t{j} * srcLength / dstLength);
    };
    const auto lastOf = [&](int j) {
        return static_cast<int>((std::int64_t{j + 1} * srcLength - 1) / dstLength);
    };
    for (int j = 0; j < dstLength; ++j) t.count = std::max(t.count, lastOf(j) - firstOf(j) + 1);
    t.count = std::min(t.count, srcLength);
    t.first.resize(static_cast<std::size_t>(dstLength));
    t.weights.assign(static_cast<std::size_t>(dstLength) * t.count, 0);
    for (int j = 0; j < dstLength; ++j) {
        const std::int64_t from = std::int64_t{j} * srcLength;
        const std::int64_t to = from + srcLength;
        // Shifted left at the far edge so that all `count` taps lie inside the source.
        const int first = std::min(firstOf(j), srcLength - t.count);
        t.first[static_cast<std::size_t>(j)] = first;
        std::uint16_t* w = &t.weights[static_cast<std::size_t>(j) * t.count];
        int sum = 0, largest = 0;
        for (int k = 0; k < t.count; ++k) {
            const int pixel = first + k;
            const std::int64_t overlap = std::min(to, std::int64_t{pixel + 1} * dstLength) -
                                         std::max(from, std::int64_t{pixel} * dstLength);
            if (overlap <= 0) continue;
            w[k] = static_cast<std::uint16_t>((overlap * 256 + srcLength / 2) / srcLength);
            sum += w[k];
            if (w[k] > w[largest]) largest = k;
        }
        w[largest] = static_cast<std::uint16_t>(w[largest] + 256 - sum);
    }
    return t;
}

AreaScaler::AreaScaler(int srcWidth, int srcHeight, const Rect& target, ChannelOrder order)
    : srcWidth_(srcWidth),
      srcHeight_(srcHeight),
      target_(target),
      red_(order == ChannelOrder::Bgrx ? 2 : 0),
      columns_(taps(srcWidth, target.width)),
      rows_(taps(srcHeight, target.height)) {}

Rect AreaScaler::outputFor(const Rect& changed) const {
    const Rect c = intersect(changed, {0, 0, srcWidth_, srcHeight_});
    if (c.empty()) return {};
    const auto lower = [](int v, int dst, int src) {
        return static_cast<int>(std::int64_t{v} * dst / src);
    };
    const auto upper = [](int v, int dst, int src) {
        return static_cast<int>((std::int64_t{v} * dst + src - 1) / src);
    };
    const int x0 = evenDown(lower(c.x, target_.width, srcWidth_));
    const int x1 = std::min(target_.width, evenUp(upper(c.x + c.width, target_.width, srcWidth_)));
    const int y0 = evenDown(lower(c.y, target_.height, srcHeight_));
    const int y1 =
        std::min(target_.height, evenUp(upper(c.y + c.height, target_.height, srcHeight_)));
    if (x1 <= x0 || y1 <= y0) return {};
    return {target_.x + x0, target_.y + y0, x1 - x0, y1 - y0};
}

// The colours of output row `row` (relative to the target), columns [x0, x1), as R, G, B bytes.
// First the source rows are averaged into one row of the columns needed (all four bytes of each
// pixel alike; the loop vectorises), then each output pixel averages its columns of that row,
// four channels at a time in 16 bits (GCC vector extensions: SSE2 on x86-64).
void AreaScaler::scaleRow(const BgrxImage& image, int row, int x0, int x1, std::uint16_t* sums,
                          std::uint8_t* rgb) const {
    const int sx0 = columns_.first[static_cast<std::size_t>(x0)];
    const int sx1 = columns_.first[static_cast<std::size_t>(x1 - 1)] + columns_.count;
    const int n = (sx1 - sx0) * 4;
    const int sy = rows_.first[static_cast<std::size_t>(row)];
    const std::uint16_t* wy = &rows_.weights[static_cast<std::size_t>(row) * rows_.count];
    const auto rowAt = [&](int k) {
        return image.pixels + static_cast<std::ptrdiff_t>(sy + k) * image.stride + sx0 * 4;
    };
    // At most 255 × 256 before the shift: 16 bits hold it.
    {
        const std::uint8_t* src = rowAt(0);
        const std::uint16_t w = wy[0];
        for (int i = 0; i < n; ++i) sums[i] = static_cast<std::uint16_t>(128 + w * src[i]);
    }
    for (int k = 1; k < rows_.count; ++k) {
        const std::uint16_t w = wy[k];
        if (w == 0) continue;
        const std::uint8_t* src = rowAt(k);
        for (int i = 0; i < n; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + w * src[i]);
    }
    for (int i = 0; i < n; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] >> 8);
    using Pixel = std::uint16_t __attribute__((vector_size(8)));
    const int count = columns_.count;
    for (int j = x0; j < x1; ++j) {
        const std::uint16_t* s = sums + (columns_.first[static_cast<std::size_t>(j)] - sx0) * 4;
        const std::uint16_t* w = &columns_.weights[static_cast<std::size_t>(j) * count];
        Pixel acc = {128, 128, 128, 128};
        for (int k = 0; k < count; ++k, s += 4) {
            Pixel pixel;
            std::memcpy(&pixel, s, sizeof pixel);
            acc += pixel * Pixel{w[k], w[k], w[k], w[k]};
        }
        acc >>= 8;
        std::uint8_t* out = rgb + (j - x0) * 3;
        out[0] = static_cast<std::uint8_t>(acc[red_]);
        out[1] = static_cast<std::uint8_t>(acc[1]);
        out[2] = static_cast<std::uint8_t>(acc[2 - red_]);
    }
}

void AreaScaler::scale(const BgrxImage& image, Picture& picture, const Rect& out) const {
    // Whole 2 × 2 blocks only, so that each chroma sample sees all four of its pixels.
    const Rect c = intersect(out, target_);
    if (c.empty()) return;
    const int x0 = evenDown(c.x - target_.x);
    const int x1 = std::min(target_.width, evenUp(c.x + c.width - target_.x));
    const int y0 = evenDown(c.y - target_.y);
    const int y1 = std::min(target_.height, evenUp(c.y + c.height - target_.y));
    const int width = x1 - x0;
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * 6);
    std::uint8_t* top = rows.data();
    std::uint8_t* bottom = top + width * 3;
    const int sourceColumns = columns_.first[static_cast<std::size_t>(x1 - 1)] + columns_.count -
                              columns_.first[static_cast<std::size_t>(x0)];
    std::vector<std::uint16_t> sums(static_cast<std::size_t>(sourceColumns) * 4);
    for (int y = y0; y < y1; y += 2) {
        scaleRow(image, y, x0, x1, sums.data(), top);
        scaleRow(image, y + 1, x0, x1, sums.data(), bottom);
        const int py = target_.y + y;
        std::uint8_t* luma0 =
            picture.plane(0) + static_cast<std::ptrdiff_t>(py) * picture.stride(0);
        std::uint8_t* luma1 = luma0 + picture.stride(0);
        const std::ptrdiff_t chromaRow = static_cast<std::ptrdiff_t>(py / 2) * picture.stride(1);
        std::uint8_t* cb = picture.plane(1) + chromaRow;
        std::uint8_t* cr = picture.plane(2) + chromaRow;
        for (int i = 0; i < width; i += 2) {
            const std::uint8_t* p = top + i * 3;
            const std::uint8_t* q = bottom + i * 3;
            const int px = target_.x + x0 + i;
            luma0[px] = lumaOf(p[0], p[1], p[2]);
            luma0[px + 1] = lumaOf(p[3], p[4], p[5]);
            luma1[px] = lumaOf(q[0], q[1], q[2]);
            luma1[px + 1] = lumaOf(q[3], q[4], q[5]);
            const int r = (p[0] + p[3] + q[0] + q[3] + 2) >> 2;
            const int g = (p[1] + p[4] + q[1] + q[4] + 2) >> 2;
            const int b = (p[2] + p[5] + q[2] + q[5] + 2) >> 2;
            cb[px / 2] = cbOf(r, g, b);
            cr[px / 2] = crOf(r, g, b);
        }
    }
}

void blackOutside(Picture& picture, const Rect& keep) {
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        const Rect k{keep.x >> shift, keep.y >> shift, keep.width >> shift, keep.height >> shift};
        const std::uint8_t value = plane == 0 ? 16 : 128;
        for (int y = 0; y < picture.planeHeight(plane); ++y) {
            std::uint8_t* row =
                picture.plane(plane) + static_cast<std::ptrdiff_t>(y) * picture.stride(plane);
            if (y < k.y || y >= k.y + k.height) {
                std::fill(row, row + picture.stride(plane), value);
                continue;
            }
            std::fill(row, row + k.x, value);
            std::fill(row + k.x + k.width, row + picture.stride(plane), value);
        }
    }
}

}  // namespace hc
