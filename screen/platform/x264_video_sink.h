// The video sink: H.264 from libx264, driven directly so that it can be told which macroblocks
// did not change, in an MP4 file written by libavformat as fragments, one per frame, each
// flushed to the file as soon as it is encoded. A recorder that is killed therefore leaves a
// file that plays up to its last frame; finish() adds the index that players use to seek.
// x264 is set up as libavcodec sets it up for the same options (superfast, zerolatency, one
// thread, no B-frames, 900 kbit/s, a key frame at least every 50 frames, 5 frames a second at
// most, in milliseconds), so that the stream is the one libavcodec's libx264 would give.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "video_sink.h"

struct AVFormatContext;
struct AVPacket;
typedef struct x264_t x264_t;

namespace hc {

inline constexpr std::int64_t VIDEO_BIT_RATE = 900000;
inline constexpr int KEY_FRAME_INTERVAL = 50;

class X264VideoSink final : public VideoSink {
  public:
    X264VideoSink();
    ~X264VideoSink() override;

    std::optional<Failure> prepare(const std::filesystem::path& path, int width,
                                   int height) override;
    std::optional<Failure> begin() override;
    bool writing() const override { return writing_; }
    bool ready() const override { return writing_; }
    std::optional<Failure> append(const Picture& picture, double t,
                                  const PictureChange& change) override;
    void finish() override;

  private:
    struct CloseEncoder {
        void operator()(x264_t* e) const;
    };
    struct CloseFormat {
        void operator()(AVFormatContext* f) const;
    };
    struct FreePacket {
        void operator()(AVPacket* p) const;
    };

    std::optional<Failure> openFile();
    // Writes what x264 returned (`size` bytes of NAL units) as one fragment.
    std::optional<Failure> writePacket(int size, const void* nals, std::int64_t pts,
                                       std::int64_t dts, bool key);
    std::optional<Failure> failed(const std::string& what, int code);

    std::filesystem::path path_;
    int width_ = 0;
    int height_ = 0;
    std::unique_ptr<x264_t, CloseEncoder> encoder_;
    std::vector<std::uint8_t> headers_;  // the parameter sets, for the file's header
    std::vector<std::uint8_t> sei_;      // x264's own note, sent with the first frame
    std::unique_ptr<AVFormatContext, CloseFormat> format_;
    std::unique_ptr<AVPacket, FreePacket> packet_;
    std::int64_t lastPts_ = -1;
    int changedQp_ = 0;  // the quantiser of the last frame that changed something
    bool writing_ = false;
};

}  // namespace hc
