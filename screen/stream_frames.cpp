#include "stream_frames.h"

#include <cstring>
#include <string>

#include "snapshots.h"

namespace hc {

namespace {

// More pictures than the recorder can hold at once (its queue and the last picture) are
// never needed; beyond that a picture is made and dropped.
constexpr std::size_t POOL_SIZE = 8;

double seconds(StreamFrames::Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

std::string sizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

ChannelOrder orderOf(PixelLayout layout) {
    return layout == PixelLayout::RGBx || layout == PixelLayout::RGBA ? ChannelOrder::Rgbx
                                                                      : ChannelOrder::Bgrx;
}

}  // namespace

FramePacing::Due FramePacing::due(Clock::time_point now, bool pictureWaiting) const {
    if (pictureWaiting)
        return !lastComplete_ || now >= *lastComplete_ + interval_ ? Due::Complete : Due::Nothing;
    return !lastFrame_ || now >= *lastFrame_ + interval_ ? Due::Idle : Due::Nothing;
}

void FramePacing::delivered(Due kind, Clock::time_point now) {
    if (kind == Due::Nothing) return;
    lastFrame_ = now;
    if (kind == Due::Complete) lastComplete_ = now;
}

FramePacing::Clock::time_point FramePacing::next(Clock::time_point now, bool pictureWaiting) const {
    const std::optional<Clock::time_point>& last = pictureWaiting ? lastComplete_ : lastFrame_;
    return last ? std::max(now, *last + interval_) : now;
}

StreamFrames::StreamFrames(PictureStream& stream, int frameWidth, int frameHeight,
                           Clock::duration interval, Covers covers)
    : stream_(stream),
      width_(frameWidth),
      height_(frameHeight),
      interval_(interval),
      covers_(std::move(covers)),
      pacing_(interval) {}

StreamFrames::Clock::time_point StreamFrames::pass(FrameReceiver& receiver, Clock::time_point now) {
    const FramePacing::Due due = pacing_.due(now, stream_.hasPicture());
    if (due == FramePacing::Due::Nothing) return pacing_.next(now, stream_.hasPicture());
    // A full receiver costs no scaling; the picture waits for the next pass.
    if (!receiver.wantsFrame()) return now + interval_;
    Frame frame{FrameStatus::Idle, seconds(now), nullptr};
    std::string notice;
    if (due == FramePacing::Due::Complete)
        stream_.takeNewest([&](const StreamImage& image) { make(image, frame, notice); });
    if (!notice.empty()) receiver.displayChanged(notice);
    pacing_.delivered(frame.picture ? FramePacing::Due::Complete : FramePacing::Due::Idle, now);
    receiver.receive(std::move(frame));
    return pacing_.next(now, stream_.hasPicture());
}

void StreamFrames::make(const StreamImage& image, Frame& frame, std::string& notice) {
    if (image.width < 1 || image.height < 1) return;
    if (!scaler_ || image.width != sourceWidth_ || image.height != sourceHeight_ ||
        orderOf(image.layout) != orderOf(layout_)) {
        if (scaler_ && (image.width != sourceWidth_ || image.height != sourceHeight_))
            notice = "screen changed: recording the shared monitor at " +
                     sizeText(image.width, image.height) + " (was " +
                     sizeText(sourceWidth_, sourceHeight_) + "), scaled into the video's " +
                     sizeText(width_, height_);
        scaler_.emplace(image.width, image.height,
                        fitInto(image.width, image.height, width_, height_), orderOf(image.layout));
        sourceWidth_ = image.width;
        sourceHeight_ = image.height;
        pool_.clear();  // their bars may lie elsewhere
    }
    layout_ = image.layout;
    // The scaler and the thumbnail only read the picture: the stream's memory is never written.
    BgrxImage view{const_cast<std::uint8_t*>(image.pixels), image.width, image.height,
                   image.stride};
    if (covers_) {
        const std::vector<Rect> covers = covers_(image.width, image.height);
        if (!covers.empty()) {
            const std::size_t row = static_cast<std::size_t>(image.width) * 4;
            covered_.resize(row * image.height);
            for (int y = 0; y < image.height; ++y)
                std::memcpy(covered_.data() + row * y,
                            image.pixels + static_cast<std::ptrdiff_t>(y) * image.stride, row);
            view = {covered_.data(), image.width, image.height, static_cast<int>(row)};
            paintOver(view, covers);
        }
    }
    std::shared_ptr<Picture> picture = freePicture();
    scaler_->scale(view, *picture, scaler_->target());
    frame.status = FrameStatus::Complete;
    frame.picture = std::move(picture);
    // The grey of a pixel does not depend on which of its bytes is red and which blue.
    frame.thumbnail = greyThumbnail(view);
}

std::shared_ptr<Picture> StreamFrames::freePicture() {
    for (const std::shared_ptr<Picture>& p : pool_)
        if (p.use_count() == 1) return p;
    auto picture = std::make_shared<Picture>(width_, height_);
    blackOutside(*picture, scaler_->target());
    if (pool_.size() < POOL_SIZE) pool_.push_back(picture);
    return picture;
}

}  // namespace hc
