// Fakes of the recorder's services: a screen source whose frames the test delivers itself
// (the test thread plays the capture thread), a video sink and a JPEG encoder that record
// what they were asked. Each fake's scripted answers are set before the recorder uses it.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jpeg_encoder.h"
#include "screen_source.h"
#include "video_sink.h"

namespace hc::test {

// A gate a fake can be held at until the test opens it.
class Gate {
  public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

class FakeScreenSource final : public ScreenSource {
  public:
    std::variant<ShareableContent, Failure> contentAnswer = ShareableContent{{{7, 1440, 900}}, 7};
    std::optional<Failure> startAnswer;
    bool stopCompletes = true;

    std::optional<CaptureConfig> config;
    FrameReceiver* receiver = nullptr;
    int stops = 0;

    std::variant<ShareableContent, Failure> content() override { return contentAnswer; }
    std::optional<Failure> start(const CaptureConfig& c, FrameReceiver& r) override {
        config = c;
        if (startAnswer) return startAnswer;
        receiver = &r;
        return std::nullopt;
    }
    void stop(std::function<void()> done) override {
        ++stops;
        if (stopCompletes) done();
    }

    // Delivers a frame the way a capture thread would; false when the receiver was full.
    bool deliver(Frame frame) {
        if (!receiver->wantsFrame()) return false;
        receiver->receive(std::move(frame));
        return true;
    }
};

class FakeVideoSink final : public VideoSink {
  public:
    std::optional<Failure> prepareAnswer;
    std::optional<Failure> beginAnswer;
    std::optional<Failure> appendAnswer;
    std::set<int> busyFrames;    // complete frames (counted from 0) the encoder is too busy for
    Gate* finishGate = nullptr;  // when set, finish() waits for it
    Gate* appendGate = nullptr;  // when set, append() opens `appendEntered` and waits for it
    Gate appendEntered;

    std::filesystem::path path;
    int width = 0, height = 0;
    int begins = 0, finishes = 0;
    std::vector<double> appended;             // video times, in order
    std::vector<std::uint8_t> appendedLumas;  // the first Y' sample of each appended picture
    std::vector<PictureChange> appendedChanges;

    std::optional<Failure> prepare(const std::filesystem::path& p, int w, int h) override {
        path = p;
        width = w;
        height = h;
        return prepareAnswer;
    }
    std::optional<Failure> begin() override {
        ++begins;
        writing_ = !beginAnswer;
        return beginAnswer;
    }
    bool writing() const override { return writing_; }
    bool ready() const override { return !busyFrames.count(readyCalls_++); }
    std::optional<Failure> append(const Picture& picture, double t,
                                  const PictureChange& change) override {
        if (Gate* g = appendGate) {
            appendEntered.open();
            g->pass();
        }
        if (appendAnswer) {
            writing_ = false;
            return appendAnswer;
        }
        appended.push_back(t);
        appendedLumas.push_back(picture.plane(0)[0]);
        appendedChanges.push_back(change);
        return std::nullopt;
    }
    void finish() override {
        ++finishes;
        if (finishGate) finishGate->pass();
        writing_ = false;
    }

  private:
    bool writing_ = false;
    mutable int readyCalls_ = 0;
};

class FakeJpegEncoder final : public JpegEncoder {
  public:
    bool fails = false;
    Gate* gate = nullptr;  // when set, encode() opens `entered` and waits for it
    Gate entered;
    int calls = 0;

    // The bytes name the picture's first Y' sample, so a test can tell stills apart.
    std::optional<std::vector<std::uint8_t>> encode(const Picture& picture) override {
        ++calls;
        // Read once: the test clears `gate` while a call may be waiting at it.
        if (Gate* g = gate) {
            entered.open();
            g->pass();
        }
        if (fails) return std::nullopt;
        return std::vector<std::uint8_t>{'J', picture.plane(0)[0]};
    }
};

}  // namespace hc::test
