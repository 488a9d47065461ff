#include "black_frames.h"

#include <algorithm>

namespace hc {

namespace {

constexpr std::uint8_t BLACK_LUMA = 16;
constexpr std::uint8_t NEUTRAL_CHROMA = 128;
constexpr std::size_t POINTER_PIXELS = 64 * 64;  // the most a drawn pointer covers

// Passes frames through to the recorder, looking at them on the way.
class Watch final : public FrameReceiver {
  public:
    explicit Watch(std::function<void(std::string_view)> warn) : warn_(std::move(warn)) {}
    void attach(FrameReceiver& receiver) { receiver_ = &receiver; }

    bool wantsFrame() override { return receiver_->wantsFrame(); }
    void receive(Frame frame) override {
        if (black_.allBlackSoFar(frame)) warn_(BLACK_START);
        receiver_->receive(std::move(frame));
    }
    void stopped(const std::string& error) override { receiver_->stopped(error); }
    void displayChanged(const std::string& description) override {
        receiver_->displayChanged(description);
    }

  private:
    std::function<void(std::string_view)> warn_;
    FrameReceiver* receiver_ = nullptr;
    BlackStart black_;
};

class WatchedSource final : public ScreenSource {
  public:
    WatchedSource(std::unique_ptr<ScreenSource> inner, std::function<void(std::string_view)> warn)
        : watch_(std::move(warn)), inner_(std::move(inner)) {}

    std::variant<ShareableContent, Failure> content() override { return inner_->content(); }
    std::optional<Failure> start(const CaptureConfig& config, FrameReceiver& receiver) override {
        watch_.attach(receiver);
        return inner_->start(config, watch_);
    }
    void stop(std::function<void()> done) override { inner_->stop(std::move(done)); }

  private:
    Watch watch_;
    std::unique_ptr<ScreenSource> inner_;  // after watch_: goes first, while watch_ still exists
};

}  // namespace

bool isBlack(const Picture& picture) {
    const std::size_t pixels = static_cast<std::size_t>(picture.width()) * picture.height();
    const std::size_t allowed = std::min(POINTER_PIXELS, pixels / 100);
    // True when at most `limit` samples of the plane fail `black`.
    const auto mostly = [&](int plane, std::size_t limit, auto black) {
        const std::uint8_t* p = picture.plane(plane);
        const std::uint8_t* end =
            p + static_cast<std::size_t>(picture.stride(plane)) * picture.planeHeight(plane);
        std::size_t other = 0;
        for (; p != end; ++p) {
            if (!black(*p) && ++other > limit) return false;
        }
        return true;
    };
    const auto neutral = [](std::uint8_t c) { return c == NEUTRAL_CHROMA; };
    return mostly(0, allowed, [](std::uint8_t y) { return y <= BLACK_LUMA; }) &&
           mostly(1, allowed / 4, neutral) && mostly(2, allowed / 4, neutral);
}

bool BlackStart::allBlackSoFar(const Frame& frame) {
    if (decided_) return false;
    const bool complete = frame.status == FrameStatus::Complete && frame.picture != nullptr;
    if (!first_) {
        if (!complete) return false;
        first_ = frame.pts;
    }
    if (frame.pts - *first_ >= BLACK_START_WINDOW) {
        decided_ = true;
        return !colour_;
    }
    if (complete && !isBlack(*frame.picture)) {
        colour_ = true;
        decided_ = true;  // nothing left to find out
    }
    return false;
}

std::unique_ptr<ScreenSource> watchForBlack(std::unique_ptr<ScreenSource> source,
                                            std::function<void(std::string_view)> warn) {
    return std::make_unique<WatchedSource>(std::move(source), std::move(warn));
}

}  // namespace hc
