// Stills encoded by libturbojpeg, decoded again to check size and colours.
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include "platform/turbojpeg_encoder.h"

namespace hc {
namespace {

struct Decoded {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return rgb.data() + (y * width + x) * 3; }
};

Decoded decode(const std::vector<std::uint8_t>& jpeg) {
    Decoded d;
    tjhandle h = tjInitDecompress();
    int subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &d.width, &d.height, &subsamp,
                            &colorspace) == 0) {
        d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
        if (tjDecompress2(h, jpeg.data(), jpeg.size(), d.rgb.data(), d.width, 0, d.height, TJPF_RGB,
                          0) != 0)
            d.rgb.clear();
    }
    tjDestroy(h);
    return d;
}

TEST(TurboJpegEncoder, KeepsSizeAndTheFullRangeOfColours) {
    // Left half white, right half red, in the frames' video range.
    Picture p(64, 48);
    p.fill(81, 90, 240);
    for (int y = 0; y < 48; ++y) std::fill_n(p.plane(0) + y * 64, 32, 235);
    for (int y = 0; y < 24; ++y) {
        std::fill_n(p.plane(1) + y * 32, 16, 128);
        std::fill_n(p.plane(2) + y * 32, 16, 128);
    }
    TurboJpegEncoder encoder;
    const auto jpeg = encoder.encode(p);
    ASSERT_TRUE(jpeg);
    const Decoded d = decode(*jpeg);
    ASSERT_EQ(d.width, 64);
    ASSERT_EQ(d.height, 48);
    ASSERT_FALSE(d.rgb.empty());
    const unsigned char* white = d.at(8, 24);
    const unsigned char* red = d.at(56, 24);
    EXPECT_GE(white[0], 250);
    EXPECT_GE(white[1], 250);
    EXPECT_GE(white[2], 250);
    EXPECT_GE(red[0], 245);
    EXPECT_LE(red[1], 10);
    EXPECT_LE(red[2], 10);
}

}  // namespace
}  // namespace hc
