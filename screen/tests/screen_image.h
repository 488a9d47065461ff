// A screen image a test owns and paints: 32-bit BGRx, rows packed.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "overlay.h"

namespace hc::test {

struct ScreenImage {
    int width, height;
    std::vector<std::uint8_t> bytes;
    ScreenImage(int w, int h)
        : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4, 0) {}
    BgrxImage view() { return {bytes.data(), width, height, width * 4}; }
    void fill(const Rect& r, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) {
                std::uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            }
    }
    void noise(const Rect& r, std::mt19937& random) {
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                for (int c = 0; c < 3; ++c)
                    bytes[(static_cast<std::size_t>(y) * width + x) * 4 + c] =
                        static_cast<std::uint8_t>(random());
    }
};

}  // namespace hc::test
