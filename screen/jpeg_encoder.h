// Encodes a frame's picture as a JPEG still.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "picture.h"

namespace hc {

// Stateless for its callers; used from one thread at a time.
class JpegEncoder {
  public:
    virtual ~JpegEncoder() = default;
    // The JPEG file's bytes at full size, or nothing when encoding failed.
    virtual std::optional<std::vector<std::uint8_t>> encode(const Picture& picture) = 0;
};

std::unique_ptr<JpegEncoder> makeJpegEncoder();

}  // namespace hc
