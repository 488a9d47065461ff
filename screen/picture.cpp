#include "picture.h"

#include <algorithm>

namespace hc {

Picture::Picture(int width, int height)
    : width_(width), height_(height), bytes_(static_cast<std::size_t>(width) * height * 3 / 2) {}

std::size_t Picture::offset(int i) const {
    const std::size_t luma = static_cast<std::size_t>(width_) * height_;
    if (i == 0) return 0;
    return i == 1 ? luma : luma + luma / 4;
}

void Picture::fill(std::uint8_t y, std::uint8_t cb, std::uint8_t cr) {
    const std::size_t luma = static_cast<std::size_t>(width_) * height_;
    std::fill_n(bytes_.begin(), luma, y);
    std::fill_n(bytes_.begin() + luma, luma / 4, cb);
    std::fill_n(bytes_.begin() + luma + luma / 4, luma / 4, cr);
}

}  // namespace hc
