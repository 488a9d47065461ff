// Turns stream pictures of any size and 32-bit layout into frame pictures of the recording's
// fixed size (libswscale, bilinear, converted to Y'CbCr 4:2:0 in one pass). A stream that
// changes size mid-recording is scaled into the same frame size. One thread at a time.
#pragma once

#include <memory>

#include "picture.h"
#include "platform/pipewire_stream.h"

struct SwsContext;

namespace hc {

class StreamScaler {
  public:
    StreamScaler(int frameWidth, int frameHeight) : width_(frameWidth), height_(frameHeight) {}
    ~StreamScaler();
    StreamScaler(const StreamScaler&) = delete;
    StreamScaler& operator=(const StreamScaler&) = delete;

    // A new picture of the frame size; null when the image cannot be scaled.
    std::shared_ptr<Picture> scale(const StreamImage& image);

  private:
    int width_;
    int height_;
    SwsContext* context_ = nullptr;  // kept while the image's size and layout stay the same
};

}  // namespace hc
