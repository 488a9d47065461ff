#include "platform/turbojpeg_encoder.h"

#include <turbojpeg.h>

#include <array>

namespace hc {

namespace {

// Frames use the video range (Y' 16-235, Cb and Cr 16-240); JPEG uses the full range 0-255.
struct RangeTables {
    std::array<std::uint8_t, 256> luma{};
    std::array<std::uint8_t, 256> chroma{};
    RangeTables() {
        for (int v = 0; v < 256; ++v) {
            luma[v] = clamp((v - 16) * 255.0 / 219.0);
            chroma[v] = clamp((v - 128) * 255.0 / 224.0 + 128.0);
        }
    }
    static std::uint8_t clamp(double v) {
        return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
    }
};

Picture toFullRange(const Picture& picture) {
    static const RangeTables tables;
    Picture full(picture.width(), picture.height());
    for (int i = 0; i < 3; ++i) {
        const auto& table = i == 0 ? tables.luma : tables.chroma;
        const std::size_t n = static_cast<std::size_t>(picture.stride(i)) * picture.planeHeight(i);
        const std::uint8_t* src = picture.plane(i);
        std::uint8_t* dst = full.plane(i);
        for (std::size_t k = 0; k < n; ++k) dst[k] = table[src[k]];
    }
    return full;
}

struct JpegBuffer {
    unsigned char* bytes = nullptr;
    ~JpegBuffer() { tjFree(bytes); }
};

}  // namespace

void TurboJpegEncoder::Destroy::operator()(void* handle) const {
    tjDestroy(handle);
}

TurboJpegEncoder::TurboJpegEncoder() = default;
TurboJpegEncoder::~TurboJpegEncoder() = default;

std::optional<std::vector<std::uint8_t>> TurboJpegEncoder::encode(const Picture& picture) {
    if (picture.width() < 2 || picture.height() < 2) return std::nullopt;
    if (!handle_) handle_.reset(tjInitCompress());
    if (!handle_) return std::nullopt;
    const Picture full = toFullRange(picture);
    const unsigned char* planes[] = {full.plane(0), full.plane(1), full.plane(2)};
    const int strides[] = {full.stride(0), full.stride(1), full.stride(2)};
    JpegBuffer jpeg;
    unsigned long size = 0;
    if (tjCompressFromYUVPlanes(handle_.get(), planes, full.width(), strides, full.height(),
                                TJSAMP_420, &jpeg.bytes, &size, JPEG_QUALITY, 0) != 0)
        return std::nullopt;
    return std::vector<std::uint8_t>(jpeg.bytes, jpeg.bytes + size);
}

std::unique_ptr<JpegEncoder> makeJpegEncoder() {
    return std::make_unique<TurboJpegEncoder>();
}

}  // namespace hc
