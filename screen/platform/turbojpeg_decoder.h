// JPEG files decoded with libjpeg-turbo's TurboJPEG API.
#pragma once

#include <cstdint>
#include <span>

#include "ocr/image.h"

namespace hc {

class TurboJpegDecoder final : public ImageDecoder {
  public:
    // Images with a longer side are refused before any pixel is decoded: no screen is that
    // large, so such a header is broken or hostile.
    static constexpr int MAX_SIDE = 16384;
    // Larger images are decoded shrunk (by libjpeg's scaling, 1/8 steps) to at most this many
    // pixels, keeping their shape: text recognition needs about 16 bytes a pixel, so this holds
    // one worker under 100 MB. The stills hc-screen writes are far smaller (at most 1600 wide).
    static constexpr std::int64_t MAX_DECODED_PIXELS = 2560 * 1600;
    // A file with less than one byte per this many declared pixels is refused as lying about
    // its size: even a blank progressive JPEG spends a bit per 8 × 8 block on its first scan.
    static constexpr std::int64_t PIXELS_PER_BYTE_LIMIT = 1024;
    // Larger files are refused before they are read.
    static constexpr std::int64_t MAX_FILE_BYTES = 512LL << 20;

    // Greyscale JPEGs decode to one channel, colour ones to RGB; CMYK ones are refused. A file
    // whose data ends early or is partly corrupt still decodes (libjpeg fills in the rest, as
    // viewers show it); one whose header cannot be read, or that libjpeg cannot decode at all,
    // does not. Progressive files with more scans than libjpeg-turbo's limit (500) are refused,
    // so that endless scans cannot keep a worker busy. The declared density is scaled with the
    // picture. Thread-safe.
    std::optional<Image> decode(const std::filesystem::path& path) const override;
    // The same for a JPEG file's bytes in memory.
    static std::optional<Image> decodeJpeg(std::span<const std::uint8_t> bytes);
};

}  // namespace hc
