// The JPEG encoder for stills on libturbojpeg: quality 70 (the stills' compression factor of
// 0.7), 4:2:0 chroma as in the frame, so nothing is converted but the value range.
#pragma once

#include <memory>

#include "jpeg_encoder.h"

namespace hc {

inline constexpr int JPEG_QUALITY = 70;

class TurboJpegEncoder final : public JpegEncoder {
  public:
    TurboJpegEncoder();
    ~TurboJpegEncoder() override;
    std::optional<std::vector<std::uint8_t>> encode(const Picture& picture) override;

  private:
    struct Destroy {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Destroy> handle_;  // a tjhandle, made on first use
};

}  // namespace hc
