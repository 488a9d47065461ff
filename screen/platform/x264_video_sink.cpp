#include "platform/x264_video_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <x264.h>
}

namespace hc {

namespace {

constexpr AVRational TIME_BASE{1, 1000};  // milliseconds of video time
// The rate the encoder plans its bits for; frames may come less often, never more.
constexpr int NOMINAL_RATE = 5;
constexpr std::int64_t FRAME_DURATION = 200;  // ms, the shortest frame interval
// A repeat of a picture that was coded coarsely is coded this many quantiser steps finer (about
// what a few seconds of the same picture at the nominal rate would reach), unless that would be
// finer than REFINED_QP: text is sharp by then, and the bits are better left to later changes.
constexpr int REFINE_STEPS = 6;
constexpr int REFINED_QP = 12;

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

// What libavcodec's libx264 wrapper sets for a context with the same options.
x264_param_t encoderSettings(int width, int height) {
    x264_param_t p;
    x264_param_default(&p);
    // Legible text at 900 kbit/s needs at least superfast; zerolatency holds no frame back (no
    // lookahead, no B-frames), so each frame reaches the file as it is appended.
    x264_param_default_preset(&p, "superfast", "zerolatency");
    p.i_log_level = X264_LOG_NONE;
    p.i_csp = X264_CSP_I420;
    p.i_bitdepth = 8;
    p.rc.i_bitrate = static_cast<int>(VIDEO_BIT_RATE / 1000);
    p.rc.i_rc_method = X264_RC_ABR;
    p.i_keyint_max = KEY_FRAME_INTERVAL;
    p.i_bframe = 0;
    p.i_threads = 1;  // a frame every 200 ms leaves one thread idle most of the time
    p.b_open_gop = 0;
    p.i_width = width;
    p.i_height = height;
    p.i_timebase_num = static_cast<std::uint32_t>(TIME_BASE.num);
    p.i_timebase_den = static_cast<std::uint32_t>(TIME_BASE.den);
    p.i_fps_num = NOMINAL_RATE;
    p.i_fps_den = 1;
    // BT.601 with limited range, as the pictures are made.
    p.vui.b_fullrange = 0;
    p.vui.i_colorprim = AVCOL_PRI_SMPTE170M;
    p.vui.i_transfer = AVCOL_TRC_SMPTE170M;
    p.vui.i_colmatrix = AVCOL_SPC_SMPTE170M;
    p.b_repeat_headers = 0;  // MP4 keeps the parameter sets in its header
    // Told which macroblocks did not change, x264 skips them without analysis (unless the
    // earlier picture was coded worse than this one will be).
    p.analyse.b_mb_info = 1;
    return p;
}

// Per macroblock of a picture: X264_MBINFO_CONSTANT unless a changed rectangle touches it.
// x264 takes the array over and frees it with std::free.
std::uint8_t* constantBlocks(const PictureChange& change, int width, int height) {
    const int columns = (width + 15) / 16;
    const int rows = (height + 15) / 16;
    auto* blocks =
        static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(columns) * rows));
    if (blocks == nullptr) return nullptr;
    std::fill_n(blocks, columns * rows, static_cast<std::uint8_t>(X264_MBINFO_CONSTANT));
    for (const Rect& changed : change.rects) {
        const Rect r = intersect(changed, {0, 0, width, height});
        if (r.empty()) continue;
        for (int y = r.y / 16; y <= (r.y + r.height - 1) / 16; ++y)
            std::fill_n(blocks + y * columns + r.x / 16, (r.x + r.width - 1) / 16 - r.x / 16 + 1,
                        std::uint8_t{0});
    }
    return blocks;
}

}  // namespace

void X264VideoSink::CloseEncoder::operator()(x264_t* e) const {
    x264_encoder_close(e);
}
void X264VideoSink::CloseFormat::operator()(AVFormatContext* f) const {
    if (f->pb != nullptr) avio_closep(&f->pb);
    avformat_free_context(f);
}
void X264VideoSink::FreePacket::operator()(AVPacket* p) const {
    av_packet_free(&p);
}

X264VideoSink::X264VideoSink() {
    // The tool's standard error carries at most one line of its own; the muxer's notes would
    // bury it.
    av_log_set_level(AV_LOG_QUIET);
}
X264VideoSink::~X264VideoSink() = default;

std::optional<Failure> X264VideoSink::failed(const std::string& what, int code) {
    writing_ = false;
    return Failure{what + " " + path_.string() + ": " + errorText(code)};
}

std::optional<Failure> X264VideoSink::prepare(const std::filesystem::path& path, int width,
                                              int height) {
    path_ = path;
    width_ = width;
    height_ = height;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return Failure{"Cannot write " + path.string() + ": " + std::strerror(errno)};
    x264_param_t settings = encoderSettings(width, height);
    encoder_.reset(x264_encoder_open(&settings));
    packet_.reset(av_packet_alloc());
    if (!encoder_)
        return Failure{"Cannot open the H.264 encoder for " + std::to_string(width) + "x" +
                       std::to_string(height) + " pictures"};
    if (!packet_) return Failure{"Out of memory"};
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_headers(encoder_.get(), &nals, &count) < 0)
        return Failure{"Cannot open the H.264 encoder: no parameter sets"};
    for (int i = 0; i < count; ++i) {
        const x264_nal_t& nal = nals[i];
        // x264's note on its version and settings goes with the first frame, as libavcodec
        // sends it; the parameter sets go into the file's header.
        auto& into = nal.i_type == NAL_SEI ? sei_ : headers_;
        into.insert(into.end(), nal.p_payload, nal.p_payload + nal.i_payload);
    }
    return std::nullopt;
}

std::optional<Failure> X264VideoSink::begin() {
    return openFile();
}

std::optional<Failure> X264VideoSink::openFile() {
    AVFormatContext* raw = nullptr;
    if (const int e = avformat_alloc_output_context2(&raw, nullptr, "mp4", path_.c_str()); e < 0)
        return failed("Cannot write", e);
    format_.reset(raw);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (stream == nullptr) return failed("Cannot write", AVERROR(ENOMEM));
    stream->time_base = TIME_BASE;
    AVCodecParameters& par = *stream->codecpar;
    par.codec_type = AVMEDIA_TYPE_VIDEO;
    par.codec_id = AV_CODEC_ID_H264;
    par.format = AV_PIX_FMT_YUV420P;
    par.width = width_;
    par.height = height_;
    par.bit_rate = VIDEO_BIT_RATE;
    par.color_range = AVCOL_RANGE_MPEG;
    par.color_space = AVCOL_SPC_SMPTE170M;
    par.color_primaries = AVCOL_PRI_SMPTE170M;
    par.color_trc = AVCOL_TRC_SMPTE170M;
    par.extradata =
        static_cast<std::uint8_t*>(av_mallocz(headers_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par.extradata == nullptr) return failed("Cannot write", AVERROR(ENOMEM));
    std::copy(headers_.begin(), headers_.end(), par.extradata);
    par.extradata_size = static_cast<int>(headers_.size());
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

std::optional<Failure> X264VideoSink::append(const Picture& picture, double t,
                                             const PictureChange& change) {
    if (!writing_) return std::nullopt;
    // Strictly increasing, as MP4 requires, even for two frames within a millisecond.
    const std::int64_t pts = std::max<std::int64_t>(std::llround(t * 1000.0), lastPts_ + 1);
    lastPts_ = pts;
    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    for (int i = 0; i < 3; ++i) {
        in.img.plane[i] = const_cast<std::uint8_t*>(picture.plane(i));
        in.img.i_stride[i] = picture.stride(i);
    }
    in.i_pts = pts;
    if (!change.whole) {
        in.prop.mb_info = constantBlocks(change, width_, height_);
        in.prop.mb_info_free = std::free;
    }
    // A repeat (the stop, or a still screen's) costs a few bytes of skipped blocks, but where
    // the picture was coded coarsely, as after much motion, it is the chance to sharpen what
    // stays on screen: x264 codes a block said constant again when it is asked for a finer
    // quantiser than the block's reference had, and skips it otherwise.
    const bool repeat = !change.whole && change.rects.empty();
    if (repeat && changedQp_ - REFINE_STEPS >= REFINED_QP)
        in.i_qpplus1 = changedQp_ - REFINE_STEPS + 1;
    x264_picture_t out;
    x264_nal_t* nals = nullptr;
    int count = 0;
    const int size = x264_encoder_encode(encoder_.get(), &nals, &count, &in, &out);
    if (size < 0) return failed("Cannot encode a frame of", AVERROR_EXTERNAL);
    if (!repeat) changedQp_ = out.i_qpplus1 - 1;  // x264 gives the frame's quantiser + 1
    if (size == 0) return std::nullopt;
    // The NAL units of one picture lie one after the other.
    return writePacket(size, nals[0].p_payload, out.i_pts, out.i_dts, out.b_keyframe != 0);
}

std::optional<Failure> X264VideoSink::writePacket(int size, const void* nals, std::int64_t pts,
                                                  std::int64_t dts, bool key) {
    AVFormatContext* f = format_.get();
    AVPacket* packet = packet_.get();
    if (const int e = av_new_packet(packet, static_cast<int>(sei_.size()) + size); e < 0)
        return failed("Cannot write", e);
    std::copy(sei_.begin(), sei_.end(), packet->data);
    std::memcpy(packet->data + sei_.size(), nals, static_cast<std::size_t>(size));
    sei_.clear();
    packet->pts = pts;
    packet->dts = dts;
    if (key) packet->flags |= AV_PKT_FLAG_KEY;
    // The next frame's time is unknown yet: each frame lasts the shortest interval, and every
    // fragment states its own start time (instead of following on from the durations before
    // it), so that a still screen keeps its length in the video.
    packet->duration = FRAME_DURATION;
    av_packet_rescale_ts(packet, TIME_BASE, f->streams[0]->time_base);
    packet->stream_index = 0;
    av_opt_set(f->priv_data, "movflags", "+frag_discont", 0);
    const int w = av_write_frame(f, packet);
    av_packet_unref(packet);
    if (w < 0) return failed("Cannot write", w);
    if (const int e = av_write_frame(f, nullptr); e < 0) return failed("Cannot write", e);
    avio_flush(f->pb);
    if (f->pb->error < 0) return failed("Cannot write", f->pb->error);
    return std::nullopt;
}

void X264VideoSink::finish() {
    if (!writing_) return;
    while (writing_ && x264_encoder_delayed_frames(encoder_.get()) > 0) {
        x264_picture_t out;
        x264_nal_t* nals = nullptr;
        int count = 0;
        const int size = x264_encoder_encode(encoder_.get(), &nals, &count, nullptr, &out);
        if (size <= 0) break;
        writePacket(size, nals[0].p_payload, out.i_pts, out.i_dts, out.b_keyframe != 0);
    }
    if (writing_) av_write_trailer(format_.get());
    writing_ = false;
    format_.reset();  // closes the file
}

std::unique_ptr<VideoSink> makeVideoSink() {
    return std::make_unique<X264VideoSink>();
}

}  // namespace hc
