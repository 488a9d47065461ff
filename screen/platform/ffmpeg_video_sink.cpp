#include "platform/ffmpeg_video_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace hc {

namespace {

constexpr AVRational TIME_BASE{1, 1000};  // milliseconds of video time
// The rate the encoder plans its bits for; frames may come less often, never more.
constexpr AVRational NOMINAL_RATE{5, 1};
constexpr std::int64_t FRAME_DURATION = 200;  // ms, the shortest frame interval

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct Options {
    AVDictionary* dict = nullptr;
    ~Options() { av_dict_free(&dict); }
    void set(const char* key, const char* value) { av_dict_set(&dict, key, value, 0); }
};

}  // namespace

void FfmpegVideoSink::FreeCodec::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void FfmpegVideoSink::CloseFormat::operator()(AVFormatContext* f) const {
    if (f->pb != nullptr) avio_closep(&f->pb);
    avformat_free_context(f);
}
void FfmpegVideoSink::FreeFrame::operator()(AVFrame* f) const {
    av_frame_free(&f);
}
void FfmpegVideoSink::FreePacket::operator()(AVPacket* p) const {
    av_packet_free(&p);
}

FfmpegVideoSink::FfmpegVideoSink() {
    // The tool's standard error carries at most one line of its own; the libraries' chatter
    // (encoder settings, muxer notes) would bury it.
    av_log_set_level(AV_LOG_QUIET);
}
FfmpegVideoSink::~FfmpegVideoSink() = default;

std::optional<Failure> FfmpegVideoSink::failed(const std::string& what, int code) {
    writing_ = false;
    return Failure{what + " " + path_.string() + ": " + errorText(code)};
}

std::optional<Failure> FfmpegVideoSink::prepare(const std::filesystem::path& path, int width,
                                                int height) {
    path_ = path;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return Failure{"Cannot write " + path.string() + ": " + std::strerror(errno)};
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (encoder == nullptr) return Failure{"The H.264 encoder libx264 is not available"};
    codec_.reset(avcodec_alloc_context3(encoder));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!codec_ || !frame_ || !packet_) return Failure{"Out of memory"};
    AVCodecContext& c = *codec_;
    c.width = width;
    c.height = height;
    c.pix_fmt = AV_PIX_FMT_YUV420P;
    c.time_base = TIME_BASE;
    c.framerate = NOMINAL_RATE;
    c.bit_rate = VIDEO_BIT_RATE;
    c.gop_size = KEY_FRAME_INTERVAL;
    c.max_b_frames = 0;
    c.thread_count = 1;  // a frame every 200 ms leaves one thread idle most of the time
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_SMPTE170M;
    c.color_primaries = AVCOL_PRI_SMPTE170M;
    c.color_trc = AVCOL_TRC_SMPTE170M;
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MP4 keeps the parameter sets in its header
    Options options;
    // Legible text at 900 kbit/s needs at least superfast; zerolatency holds no frame back
    // (no lookahead, no B-frames), so each frame reaches the file as it is appended.
    options.set("preset", "superfast");
    options.set("tune", "zerolatency");
    if (const int e = avcodec_open2(&c, encoder, &options.dict); e < 0)
        return Failure{"Cannot open the H.264 encoder: " + errorText(e)};
    frame_->format = c.pix_fmt;
    frame_->width = width;
    frame_->height = height;
    return std::nullopt;
}

std::optional<Failure> FfmpegVideoSink::begin() {
    return openFile();
}

std::optional<Failure> FfmpegVideoSink::openFile() {
    AVFormatContext* raw = nullptr;
    if (const int e = avformat_alloc_output_context2(&raw, nullptr, "mp4", path_.c_str()); e < 0)
        return failed("Cannot write", e);
    format_.reset(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (stream == nullptr) return failed("Cannot write", AVERROR(ENOMEM));
    stream->time_base = TIME_BASE;
    if (const int e = avcodec_parameters_from_context(stream->codecpar, codec_.get()); e < 0)
        return failed("Cannot write", e);
    if (const int e = avio_open(&raw->pb, path_.c_str(), AVIO_FLAG_WRITE); e < 0)
        return failed("Cannot create", e);
    Options options;
    // An empty header up front and a fragment per frame: the file is playable at every moment.
    options.set("movflags", "empty_moov+default_base_moof+frag_custom");
    if (const int e = avformat_write_header(raw, &options.dict); e < 0)
        return failed("Cannot write", e);
    avio_flush(raw->pb);
    writing_ = true;
    return std::nullopt;
}

std::optional<Failure> FfmpegVideoSink::append(const Picture& picture, double t) {
    if (!writing_) return std::nullopt;
    // Strictly increasing, as MP4 requires, even for two frames within a millisecond.
    const std::int64_t pts = std::max<std::int64_t>(std::llround(t * 1000.0), lastPts_ + 1);
    lastPts_ = pts;
    for (int i = 0; i < 3; ++i) {
        frame_->data[i] = const_cast<uint8_t*>(picture.plane(i));
        frame_->linesize[i] = picture.stride(i);
    }
    frame_->pts = pts;
    if (const int e = avcodec_send_frame(codec_.get(), frame_.get()); e < 0)
        return failed("Cannot encode a frame of", e);
    return writePackets();
}

std::optional<Failure> FfmpegVideoSink::writePackets() {
    AVFormatContext* f = format_.get();
    for (;;) {
        const int e = avcodec_receive_packet(codec_.get(), packet_.get());
        if (e == AVERROR(EAGAIN) || e == AVERROR_EOF) break;
        if (e < 0) return failed("Cannot encode a frame of", e);
        // The next frame's time is unknown yet: each frame lasts the shortest interval, and
        // every fragment states its own start time (instead of following on from the durations
        // before it), so that a still screen keeps its length in the video.
        packet_->duration = FRAME_DURATION;
        av_packet_rescale_ts(packet_.get(), TIME_BASE, f->streams[0]->time_base);
        packet_->stream_index = 0;
        av_opt_set(f->priv_data, "movflags", "+frag_discont", 0);
        if (const int w = av_write_frame(f, packet_.get()); w < 0) return failed("Cannot write", w);
        if (const int w = av_write_frame(f, nullptr); w < 0) return failed("Cannot write", w);
        avio_flush(f->pb);
        if (f->pb->error < 0) return failed("Cannot write", f->pb->error);
    }
    return std::nullopt;
}

void FfmpegVideoSink::finish() {
    if (!writing_) return;
    avcodec_send_frame(codec_.get(), nullptr);
    writePackets();
    if (writing_) av_write_trailer(format_.get());
    writing_ = false;
    format_.reset();  // closes the file
}

std::unique_ptr<VideoSink> makeVideoSink() {
    return std::make_unique<FfmpegVideoSink>();
}

}  // namespace hc
