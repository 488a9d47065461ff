#include "platform/turbojpeg_decoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <span>
#include <type_traits>

namespace hc {

namespace {

// Owns an open file descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

struct TjDestroyer {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<std::remove_pointer_t<tjhandle>, TjDestroyer>;

// The whole regular file at `path`, or nothing. O_NONBLOCK keeps a FIFO named like a still
// from blocking the open; it is then refused as not a regular file.
std::optional<std::vector<std::uint8_t>> readRegularFile(const std::filesystem::path& path) {
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    if (info.st_size <= 0 || info.st_size > TurboJpegDecoder::MAX_FILE_BYTES) return std::nullopt;

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;  // shrank while being read: decode what is there
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

// The density in the JFIF header (the first APP0 segment named "JFIF"), in pixels per inch,
// converted the way libjpeg's users (Leptonica, and so the tesseract command) do: unit 1 is
// per inch, unit 2 per centimetre, anything else declares no density.
void readJfifDensity(std::span<const std::uint8_t> jpeg, Image& image) {
    std::size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xDA || marker == 0xD9) return;  // scan data or end: no header follows
        const std::size_t length = (jpeg[at + 2] << 8) | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) return;
        const std::span<const std::uint8_t> body = jpeg.subspan(at + 4, length - 2);
        static constexpr std::uint8_t JFIF[] = {'J', 'F', 'I', 'F', 0};
        if (marker == 0xE0 && body.size() >= 12 && std::equal(JFIF, JFIF + 5, body.begin())) {
            const int unit = body[7];
            const int x = (body[8] << 8) | body[9];
            const int y = (body[10] << 8) | body[11];
            if (unit == 1) {
                image.xResolution = x;
                image.yResolution = y;
            } else if (unit == 2) {
                image.xResolution = static_cast<int>(static_cast<float>(x) * 2.54f + 0.5f);
                image.yResolution = static_cast<int>(static_cast<float>(y) * 2.54f + 0.5f);
            }
            return;
        }
        at += 2 + length;
    }
}

struct Size {
    int width;
    int height;
};

// The size the image is decoded at: its own, or shrunk by the largest of libjpeg-turbo's
// scaling factors that brings it within MAX_DECODED_PIXELS.
Size decodedSize(int width, int height) {
    if (std::int64_t{width} * height <= TurboJpegDecoder::MAX_DECODED_PIXELS)
        return {width, height};
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    Size best{1, 1};
    std::int64_t bestPixels = 0;
    for (int i = 0; factors != nullptr && i < count; ++i) {
        const Size s{TJSCALED(width, factors[i]), TJSCALED(height, factors[i])};
        const std::int64_t pixels = std::int64_t{s.width} * s.height;
        if (pixels <= TurboJpegDecoder::MAX_DECODED_PIXELS && pixels > bestPixels) {
            best = s;
            bestPixels = pixels;
        }
    }
    return best;
}

}  // namespace

std::optional<Image> TurboJpegDecoder::decode(const std::filesystem::path& path) const {
    const std::optional<std::vector<std::uint8_t>> bytes = readRegularFile(path);
    if (!bytes) return std::nullopt;
    return decodeJpeg(*bytes);
}

std::optional<Image> TurboJpegDecoder::decodeJpeg(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const TjHandle handle(tjInitDecompress());
    if (!handle) return std::nullopt;

    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle.get(), bytes.data(), bytes.size(), &width, &height, &subsampling,
                            &colorspace) != 0) {
        return std::nullopt;
    }
    if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE) return std::nullopt;
    const std::int64_t declared = std::int64_t{width} * height;
    if (static_cast<std::int64_t>(bytes.size()) * PIXELS_PER_BYTE_LIMIT < declared)
        return std::nullopt;
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return std::nullopt;

    const Size size = decodedSize(width, height);
    Image image;
    image.width = size.width;
    image.height = size.height;
    image.channels = colorspace == TJCS_GRAY ? 1 : 3;
    image.pixels.resize(std::size_t(image.width) * std::size_t(image.height) *
                        std::size_t(image.channels));
    const int format = image.channels == 1 ? TJPF_GRAY : TJPF_RGB;
    // Default flags otherwise: accurate integer DCT and smooth upsampling, as libjpeg decodes
    // by default.
    if (tjDecompress2(handle.get(), bytes.data(), bytes.size(), image.pixels.data(), image.width, 0,
                      image.height, format, TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(handle.get()) == TJERR_FATAL) {
        return std::nullopt;
    }
    readJfifDensity(bytes, image);
    image.xResolution = static_cast<int>(std::int64_t{image.xResolution} * image.width / width);
    image.yResolution = static_cast<int>(std::int64_t{image.yResolution} * image.height / height);
    return image;
}

}  // namespace hc
