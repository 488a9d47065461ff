#include "snapshots.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

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

namespace {

struct RowSums {
    std::uint32_t b = 0, g = 0, r = 0;
};

// The sums of the blue, green and red bytes of `count` pixels. Two pixels at a time in one
// 64-bit word: its bytes masked apart into four 16-bit lanes each (blue and red, green and the
// unused byte), which hold up to 257 additions of 255; the loop vectorises.
RowSums rowSums(const std::uint8_t* p, int count) {
    constexpr std::uint64_t LOW = 0x00ff00ff00ff00ffULL;
    RowSums sums;
    while (count > 1) {
        const int pairs = std::min(count / 2, 256);
        std::uint64_t blueRed = 0, green = 0;
        for (int i = 0; i < pairs; ++i) {
            std::uint64_t word;
            std::memcpy(&word, p + 8 * i, sizeof word);
            blueRed += word & LOW;
            green += (word >> 8) & LOW;
        }
        const auto lane = [](std::uint64_t v, int i) {
            return static_cast<std::uint32_t>((v >> (16 * i)) & 0xffff);
        };
        sums.b += lane(blueRed, 0) + lane(blueRed, 2);
        sums.r += lane(blueRed, 1) + lane(blueRed, 3);
        sums.g += lane(green, 0) + lane(green, 2);
        p += 8 * pairs;
        count -= 2 * pairs;
    }
    if (count == 1) {
        sums.b += p[0];
        sums.g += p[1];
        sums.r += p[2];
    }
    return sums;
}

}  // namespace

ThumbnailCells::ThumbnailCells(int width, int height)
    : width_(width), height_(height), cells_(THUMB_PIXELS) {}

void ThumbnailCells::update(const BgrxImage& image, const Rect& changed) {
    const Rect c = intersect(changed, {0, 0, width_, height_});
    if (c.empty() || width_ < 1 || height_ < 1) return;
    for (int ty = 0; ty < THUMB_HEIGHT; ++ty) {
        const auto [y0, y1] = cellSpan(ty, THUMB_HEIGHT, height_);
        if (y1 <= c.y || y0 >= c.y + c.height) continue;
        for (int tx = 0; tx < THUMB_WIDTH; ++tx) {
            const auto [x0, x1] = cellSpan(tx, THUMB_WIDTH, width_);
            if (x1 <= c.x || x0 >= c.x + c.width) continue;
            // A cell holds far fewer than 2^24 pixels: 32 bits hold its sums.
            std::uint32_t b = 0, g = 0, r = 0;
            const int n = x1 - x0;
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* p =
                    image.pixels + static_cast<std::ptrdiff_t>(y) * image.stride + x0 * 4;
                const RowSums row = rowSums(p, n);
                b += row.b;
                g += row.g;
                r += row.r;
            }
            Sums sums;
            sums.b = b;
            sums.g = g;
            sums.r = r;
            sums.count = static_cast<std::uint64_t>(n) * (y1 - y0);
            cells_[static_cast<std::size_t>(ty * THUMB_WIDTH + tx)] = sums;
        }
    }
}

std::vector<std::uint8_t> ThumbnailCells::grey() const {
    std::vector<std::uint8_t> thumb(THUMB_PIXELS, 0);
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        const Sums& s = cells_[i];
        if (s.count == 0) continue;
        const auto mean = [&s](std::uint64_t sum) { return (sum + s.count / 2) / s.count; };
        thumb[i] = static_cast<std::uint8_t>((mean(s.r) + mean(s.g) + mean(s.b)) / 3);
    }
    return thumb;
}

std::vector<std::uint8_t> greyThumbnail(const BgrxImage& image) {
    ThumbnailCells cells(image.width, image.height);
    cells.update(image, {0, 0, image.width, image.height});
    return cells.grey();
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

void Snapshots::snapIfChanged(const Picture& picture, const std::vector<std::uint8_t>& thumbnail,
                              double t) {
    std::vector<std::uint8_t> thumb =
        thumbnail.size() == THUMB_PIXELS ? thumbnail : greyThumbnail(picture);
    if (!lastThumb_.empty() && !changedEnough(thumb, lastThumb_)) return;
    if (t - lastSnapAt_ < STILL_SPACING) return;
    // Counted as taken before it is made: a still that fails is not retried at once.
    lastThumb_ = std::move(thumb);
    lastSnapAt_ = t;
    const std::optional<std::vector<std::uint8_t>> jpeg = encoder_.encode(picture);
    if (jpeg) writeStill(folder_, stillName(t), *jpeg);
}

// Written under a hidden name (which ocr does not take) and renamed into place only once the
// whole file is on disk: a full disk or a killed process never leaves a cut still under a
// still's name. A folder that is gone or full only costs this still.
void writeStill(const std::filesystem::path& folder, const std::string& name,
                const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path part = folder / ("." + name + ".part");
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool whole = ::close(fd) == 0 && done == bytes.size();
    if (!whole || ::rename(part.c_str(), (folder / name).c_str()) != 0) ::unlink(part.c_str());
}

}  // namespace hc
