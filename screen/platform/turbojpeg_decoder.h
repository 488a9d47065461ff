// JPEG files decoded with libjpeg-turbo's TurboJPEG API.
#pragma once

#include <cstdint>

#include "ocr/image.h"

namespace hc {

class TurboJpegDecoder final : public ImageDecoder {
  public:
    // Larger images are refused before any pixel is decoded, so a hostile or broken header
    // cannot make the decoder allocate without bound.
    static constexpr std::int64_t MAX_PIXELS = 100'000'000;
    // Larger files are refused before they are read.
    static constexpr std::int64_t MAX_FILE_BYTES = 512LL << 20;

    // Greyscale JPEGs decode to one channel, colour ones to RGB; CMYK ones are refused. A file
    // whose data ends early or is partly corrupt still decodes (libjpeg fills in the rest, as
    // viewers show it); one whose header cannot be read, or that libjpeg cannot decode at all,
    // does not. Thread-safe.
    std::optional<Image> decode(const std::filesystem::path& path) const override;
};

}  // namespace hc
