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
      rows_(taps(srcHeight, target.height)) {
    if (columns_.count != 2) return;
    pairWeights_.resize(columns_.first.size() * 8);
    for (std::size_t j = 0; j < columns_.first.size(); ++j)
        for (int k = 0; k < 8; ++k) pairWeights_[j * 8 + k] = columns_.weights[j * 2 + k / 4];
}

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

// The colours of output row `row` (relative to the target), columns [x0, x1), into `rgb`: three
// planes of (x1 - x0) 16-bit values, red, green and blue. First the source rows are averaged
// into one row of the columns needed (all four bytes of each pixel alike; the loop vectorises),
// then each output pixel averages its columns of that row, four channels at a time in 16 bits
// (GCC vector extensions: SSE2 on x86-64).
template <int RED>
void AreaScaler::scaleRow(const BgrxImage& image, int row, int x0, int x1, std::uint16_t* sums,
                          std::uint16_t* rgb) const {
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
    const int width = x1 - x0;
    std::uint16_t* red = rgb;
    std::uint16_t* green = rgb + width;
    std::uint16_t* blue = rgb + 2 * width;
    constexpr int BLUE = 2 - RED;
    using Pixel = std::uint16_t __attribute__((vector_size(8)));
    if (columns_.count == 2) {
        // Both taps of a pixel lie side by side: one 16-byte load holds their eight samples.
        using Pair = std::uint16_t __attribute__((vector_size(16)));
        const std::uint16_t* w = pairWeights_.data() + static_cast<std::ptrdiff_t>(x0) * 8;
        for (int i = 0; i < width; ++i, w += 8) {
            Pair taps, weights;
            const int first = columns_.first[static_cast<std::size_t>(x0 + i)];
            std::memcpy(&taps, sums + (first - sx0) * 4, sizeof taps);
            std::memcpy(&weights, w, sizeof weights);
            taps *= weights;
            Pixel acc = __builtin_shufflevector(taps, taps, 0, 1, 2, 3) +
                        __builtin_shufflevector(taps, taps, 4, 5, 6, 7) + 128;
            acc >>= 8;
            red[i] = acc[RED];
            green[i] = acc[1];
            blue[i] = acc[BLUE];
        }
        return;
    }
    const int count = columns_.count;
    for (int i = 0; i < width; ++i) {
        const int j = x0 + i;
        const std::uint16_t* s = sums + (columns_.first[static_cast<std::size_t>(j)] - sx0) * 4;
        const std::uint16_t* w = &columns_.weights[static_cast<std::size_t>(j) * count];
        Pixel acc = {128, 128, 128, 128};
        for (int k = 0; k < count; ++k, s += 4) {
            Pixel pixel;
            std::memcpy(&pixel, s, sizeof pixel);
            acc += pixel * Pixel{w[k], w[k], w[k], w[k]};
        }
        acc >>= 8;
        red[i] = acc[RED];
        green[i] = acc[1];
        blue[i] = acc[BLUE];
    }
}

namespace {

// One pair of picture rows from the colours of its two pixel rows (three planes of `width`
// values each, as scaleRow gives them): BT.601 with limited range, as the encoder is told, in
// 8-bit fixed point; chroma from the mean colour of each 2 × 2 block. All in 16 bits: every
// sum below stays under 65536, and the chroma terms are added before they are taken away, so
// nothing wraps.
void convertRows(const std::uint16_t* top, const std::uint16_t* bottom, int width,
                 std::uint8_t* luma0, std::uint8_t* luma1, std::uint8_t* cb, std::uint8_t* cr) {
    const auto luma = [width](const std::uint16_t* rgb, std::uint8_t* out) {
        const std::uint16_t* r = rgb;
        const std::uint16_t* g = rgb + width;
        const std::uint16_t* b = rgb + 2 * width;
        for (int i = 0; i < width; ++i)
            out[i] = static_cast<std::uint8_t>(
                static_cast<std::uint16_t>(66 * r[i] + 129 * g[i] + 25 * b[i] + 128) / 256 + 16);
    };
    luma(top, luma0);
    luma(bottom, luma1);
    const auto mean = [width, top, bottom](int plane, int i) {
        const std::uint16_t* t = top + plane * width + i;
        const std::uint16_t* b = bottom + plane * width + i;
        return static_cast<std::uint16_t>((t[0] + t[1] + b[0] + b[1] + 2) / 4);
    };
    for (int k = 0; k < width / 2; ++k) {
        const std::uint16_t r = mean(0, 2 * k), g = mean(1, 2 * k), b = mean(2, 2 * k);
        cb[k] = static_cast<std::uint8_t>(
            static_cast<std::uint16_t>(112 * b + (128 + (128 << 8)) - 38 * r - 74 * g) / 256);
        cr[k] = static_cast<std::uint8_t>(
            static_cast<std::uint16_t>(112 * r + (128 + (128 << 8)) - 94 * g - 18 * b) / 256);
    }
}

}  // namespace

void AreaScaler::scale(const BgrxImage& image, Picture& picture, const Rect& out) const {
    // Whole 2 × 2 blocks only, so that each chroma sample sees all four of its pixels.
    const Rect c = intersect(out, target_);
    if (c.empty()) return;
    const int x0 = evenDown(c.x - target_.x);
    const int x1 = std::min(target_.width, evenUp(c.x + c.width - target_.x));
    const int y0 = evenDown(c.y - target_.y);
    const int y1 = std::min(target_.height, evenUp(c.y + c.height - target_.y));
    const int width = x1 - x0;
    std::vector<std::uint16_t> rows(static_cast<std::size_t>(width) * 6);
    std::uint16_t* top = rows.data();
    std::uint16_t* bottom = top + width * 3;
    const int sourceColumns = columns_.first[static_cast<std::size_t>(x1 - 1)] + columns_.count -
                              columns_.first[static_cast<std::size_t>(x0)];
    // Room for the 16-byte load of the last pixel's taps even when it has fewer than two.
    std::vector<std::uint16_t> sums(static_cast<std::size_t>(sourceColumns) * 4 + 8);
    const int px = target_.x + x0;
    for (int y = y0; y < y1; y += 2) {
        if (red_ == 2) {
            scaleRow<2>(image, y, x0, x1, sums.data(), top);
            scaleRow<2>(image, y + 1, x0, x1, sums.data(), bottom);
        } else {
            scaleRow<0>(image, y, x0, x1, sums.data(), top);
            scaleRow<0>(image, y + 1, x0, x1, sums.data(), bottom);
        }
        const int py = target_.y + y;
        std::uint8_t* luma0 =
            picture.plane(0) + static_cast<std::ptrdiff_t>(py) * picture.stride(0) + px;
        const std::ptrdiff_t chromaRow =
            static_cast<std::ptrdiff_t>(py / 2) * picture.stride(1) + px / 2;
        convertRows(top, bottom, width, luma0, luma0 + picture.stride(0),
                    picture.plane(1) + chromaRow, picture.plane(2) + chromaRow);
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
