#include "platform/stream_scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace hc {

namespace {

AVPixelFormat avFormat(PixelLayout layout) {
    switch (layout) {
        case PixelLayout::BGRx:
            return AV_PIX_FMT_BGR0;
        case PixelLayout::BGRA:
            return AV_PIX_FMT_BGRA;
        case PixelLayout::RGBx:
            return AV_PIX_FMT_RGB0;
        case PixelLayout::RGBA:
            return AV_PIX_FMT_RGBA;
    }
    return AV_PIX_FMT_BGR0;
}

}  // namespace

StreamScaler::~StreamScaler() {
    sws_freeContext(context_);
}

std::shared_ptr<Picture> StreamScaler::scale(const StreamImage& image) {
    // Returns the same context while nothing changed, else frees it and makes a new one.
    context_ =
        sws_getCachedContext(context_, image.width, image.height, avFormat(image.layout), width_,
                             height_, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (context_ == nullptr) return nullptr;
    auto picture = std::make_shared<Picture>(width_, height_);
    const uint8_t* src[] = {image.pixels};
    const int srcStride[] = {image.stride};
    uint8_t* dst[] = {picture->plane(0), picture->plane(1), picture->plane(2)};
    const int dstStride[] = {picture->stride(0), picture->stride(1), picture->stride(2)};
    sws_scale(context_, src, srcStride, 0, image.height, dst, dstStride);
    return picture;
}

}  // namespace hc
