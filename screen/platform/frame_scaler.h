// Turns a grabbed screen image into a frame picture of the recording's size (libswscale):
// scaled by bilinear area weighting and converted to Y'CbCr 4:2:0 in one pass.
// Used from one thread at a time.
#pragma once

#include <memory>

#include "overlay.h"
#include "picture.h"

struct SwsContext;

namespace hc {

class FrameScaler {
  public:
    // From images of srcWidth × srcHeight to pictures of dstWidth × dstHeight (even).
    FrameScaler(int srcWidth, int srcHeight, int dstWidth, int dstHeight);
    ~FrameScaler();
    FrameScaler(FrameScaler&&) noexcept;
    FrameScaler& operator=(FrameScaler&&) noexcept;

    bool valid() const { return context_ != nullptr; }
    // `image` must have the source size.
    void scale(const BgrxImage& image, Picture& picture) const;

  private:
    struct Free {
        void operator()(SwsContext* c) const;
    };
    std::unique_ptr<SwsContext, Free> context_;
};

}  // namespace hc
