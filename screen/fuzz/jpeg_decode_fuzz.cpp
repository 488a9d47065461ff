// The stills' reading path of hc-screen ocr: any bytes given to the JPEG decoder either decode
// to an image of sane size whose buffer matches its dimensions, or are refused.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/turbojpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = hc::TurboJpegDecoder::decodeJpeg(std::span(data, size));
    if (!image) return 0;
    const std::int64_t pixels = std::int64_t{image->width} * image->height;
    if (image->width <= 0 || image->height <= 0 ||
        pixels > hc::TurboJpegDecoder::MAX_DECODED_PIXELS ||
        (image->channels != 1 && image->channels != 3) ||
        image->pixels.size() != static_cast<std::size_t>(pixels) * image->channels ||
        image->xResolution < 0 || image->yResolution < 0)
        std::abort();
    return 0;
}
