// The video sink on FFmpeg: H.264 from libx264 through libavcodec, in an MP4 file written by
// libavformat as fragments, one per frame, each flushed to the file as soon as it is encoded.
// A recorder that is killed therefore leaves a file that plays up to its last frame; finish()
// adds the index that players use to seek.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "video_sink.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace hc {

inline constexpr std::int64_t VIDEO_BIT_RATE = 900000;
inline constexpr int KEY_FRAME_INTERVAL = 50;

class FfmpegVideoSink final : public VideoSink {
  public:
    FfmpegVideoSink();
    ~FfmpegVideoSink() override;

    std::optional<Failure> prepare(const std::filesystem::path& path, int width,
                                   int height) override;
    std::optional<Failure> begin() override;
    bool writing() const override { return writing_; }
    bool ready() const override { return writing_; }
    std::optional<Failure> append(const Picture& picture, double t) override;
    void finish() override;

  private:
    struct FreeCodec {
        void operator()(AVCodecContext* c) const;
    };
    struct CloseFormat {
        void operator()(AVFormatContext* f) const;
    };
    struct FreeFrame {
        void operator()(AVFrame* f) const;
    };
    struct FreePacket {
        void operator()(AVPacket* p) const;
    };

    std::optional<Failure> openFile();
    std::optional<Failure> writePackets();
    std::optional<Failure> failed(const std::string& what, int code);

    std::filesystem::path path_;
    std::unique_ptr<AVCodecContext, FreeCodec> codec_;
    std::unique_ptr<AVFormatContext, CloseFormat> format_;
    std::unique_ptr<AVFrame, FreeFrame> frame_;
    std::unique_ptr<AVPacket, FreePacket> packet_;
    std::int64_t lastPts_ = -1;
    bool writing_ = false;
};

}  // namespace hc
