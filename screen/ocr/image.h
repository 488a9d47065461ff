// A decoded still and the service that decodes image files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace hc {

// 8-bit samples, rows top to bottom, packed without padding: pixels.size() is
// width * height * channels.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;     // 1 (grey) or 3 (red, green, blue)
    int xResolution = 0;  // pixels per inch the file declares; 0 when it declares none
    int yResolution = 0;
    std::vector<std::uint8_t> pixels;
};

// Reads image files. Implementations may be called from several threads at once.
class ImageDecoder {
  public:
    virtual ~ImageDecoder() = default;
    // The image stored at `path`; nothing when it is missing, not a regular file, not an
    // image, damaged beyond decoding, or too large to decode in sane memory.
    virtual std::optional<Image> decode(const std::filesystem::path& path) const = 0;
};

}  // namespace hc
