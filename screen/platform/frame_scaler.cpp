#include "platform/frame_scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace hc {

void FrameScaler::Free::operator()(SwsContext* c) const {
    sws_freeContext(c);
}

FrameScaler::FrameScaler(int srcWidth, int srcHeight, int dstWidth, int dstHeight)
    : context_(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_BGR0, dstWidth, dstHeight,
                              AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr)) {}

FrameScaler::~FrameScaler() = default;
FrameScaler::FrameScaler(FrameScaler&&) noexcept = default;
FrameScaler& FrameScaler::operator=(FrameScaler&&) noexcept = default;

void FrameScaler::scale(const BgrxImage& image, Picture& picture) const {
    const uint8_t* src[] = {image.pixels};
    const int srcStride[] = {image.stride};
    uint8_t* dst[] = {picture.plane(0), picture.plane(1), picture.plane(2)};
    const int dstStride[] = {picture.stride(0), picture.stride(1), picture.stride(2)};
    sws_scale(context_.get(), src, srcStride, 0, image.height, dst, dstStride);
}

}  // namespace hc
