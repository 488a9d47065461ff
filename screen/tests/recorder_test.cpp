// The recorder against fake services: how it starts, which frames it writes and tests for
// change, and how it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "recorder.h"
#include "recorder_fakes.h"
#include "temp_dir.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using test::FakeJpegEncoder;
using test::FakeScreenSource;
using test::FakeVideoSink;
using test::Gate;
using test::TempDir;

Frame complete(double pts, std::uint8_t luma = 16) {
    auto picture = std::make_shared<Picture>(32, 18);
    picture->fill(luma, 128, 128);
    return {FrameStatus::Complete, pts, picture};
}

Frame idle(double pts) {
    return {FrameStatus::Idle, pts, nullptr};
}

void touch(const std::filesystem::path& path, const std::string& text = "old") {
    std::ofstream(path) << text;
}

class RecorderTest : public testing::Test {
  protected:
    TempDir dir;
    FakeScreenSource source;
    FakeVideoSink sink;
    FakeJpegEncoder jpeg;
    RecorderTimeouts timeouts{200ms, 200ms};
    std::atomic<double> now{0.0};  // the capture clock finish() reads
    std::mutex mutex;
    std::vector<std::string> failures;
    std::vector<std::string> notices;
    // A gate for the fakes, declared before the recorder so that it outlives it: the
    // recorder's queue may still be passing it when a test ends (a finish that timed out),
    // and the recorder joins that queue as it goes.
    Gate writerGate;
    std::unique_ptr<Recorder> rec;

    void TearDown() override {
        writerGate.open();  // nothing stays held, so the recorder's queue can be joined
        rec.reset();
    }

    Recorder& make() {
        rec = std::make_unique<Recorder>(
            dir / "v.mp4", dir / "frames", source, sink, jpeg,
            [this](const std::string& why) {
                std::lock_guard lock(mutex);
                failures.push_back(why);
            },
            timeouts, [this] { return now.load(); },
            [this](const std::string& what) {
                std::lock_guard lock(mutex);
                notices.push_back(what);
            });
        return *rec;
    }
    Recorder& started() {
        Recorder& r = make();
        const auto failure = r.start();
        EXPECT_FALSE(failure) << failure->description;
        return r;
    }
    bool still(const std::string& name) { return std::filesystem::exists(dir / "frames" / name); }
};

struct StartCase {
    const char* name;
    std::function<void(FakeScreenSource&, FakeVideoSink&, const TempDir&)> arrange;
    std::string error;  // what the description starts with
};

TEST_F(RecorderTest, StartFailsWithTheFailingStepsReason) {
    const std::vector<StartCase> cases = {
        {"service", [](auto& s, auto&, auto&) { s.contentAnswer = Failure{"Cannot open display"}; },
         "Cannot open display"},
        {"no display", [](auto& s, auto&, auto&) { s.contentAnswer = ShareableContent{}; },
         "No screen found"},
        {"frames folder blocked", [](auto&, auto&, auto& d) { touch(d / "frames"); },
         "Cannot create the folder " + (dir / "frames").string() + ": "},
        {"writer", [](auto&, auto& k, auto&) { k.prepareAnswer = Failure{"Cannot write v"}; },
         "Cannot write v"},
        {"capture", [](auto& s, auto&, auto&) { s.startAnswer = Failure{"Capture refused"}; },
         "Capture refused"},
    };
    for (const StartCase& c : cases) {
        TempDir fresh;
        FakeScreenSource s;
        FakeVideoSink k;
        c.arrange(s, k, dir);
        Recorder r(fresh / "v.mp4", dir / "frames", s, k, jpeg, [](const std::string&) {});
        const auto failure = r.start();
        ASSERT_TRUE(failure) << c.name;
        EXPECT_EQ(failure->description.rfind(c.error, 0), 0u)
            << c.name << ": " << failure->description;
        std::filesystem::remove_all(dir / "frames");
    }
}

TEST_F(RecorderTest, AFolderAtTheVideoPathIsNeverDeleted) {
    std::filesystem::create_directory(dir / "v.mp4");
    touch(dir / "v.mp4" / "keep.txt");
    const auto failure = make().start();
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->description.find("is a folder"), std::string::npos) << failure->description;
    EXPECT_TRUE(std::filesystem::exists(dir / "v.mp4" / "keep.txt"));
}

TEST_F(RecorderTest, StartClearsTheWayAndConfiguresTheCapture) {
    touch(dir / "v.mp4");
    std::filesystem::create_directory(dir / "frames");
    touch(dir / "frames" / "t00003.jpg");
    source.contentAnswer = ShareableContent{{{1, 1280, 720}, {2, 1728, 1117}}, 2};
    make();
    EXPECT_TRUE(std::filesystem::exists(dir / "v.mp4")) << "construction touches no file";
    ASSERT_FALSE(rec->start());

    EXPECT_FALSE(std::filesystem::exists(dir / "v.mp4"));
    EXPECT_TRUE(still("t00003.jpg"));
    ASSERT_TRUE(source.config);
    const CaptureConfig& c = *source.config;
    EXPECT_EQ(c.display.id, 2u);
    EXPECT_EQ(c.width, 1600);
    EXPECT_EQ(c.height, 1034);
    EXPECT_DOUBLE_EQ(c.minFrameInterval, 0.2);
    EXPECT_TRUE(c.showsCursor);
    EXPECT_TRUE(c.hides("com.lumaret.quorvia"));
    EXPECT_FALSE(c.hides("com.lumaret"));
    EXPECT_EQ(sink.path, dir / "v.mp4");
    EXPECT_EQ(sink.width, 1600);
    EXPECT_EQ(sink.height, 1034);
}

TEST_F(RecorderTest, TheFirstCompleteFrameIsTimeZeroAndOnlyCompleteFramesCount) {
    Recorder& r = started();
    source.deliver(idle(30.0));
    source.deliver(complete(37.5));
    source.deliver(idle(37.7));
    source.deliver({FrameStatus::Complete, 38.0, nullptr});
    source.deliver(complete(38.5));
    source.deliver(complete(40.0));
    r.finish();

    EXPECT_EQ(sink.begins, 1);
    EXPECT_EQ(sink.appended, (std::vector<double>{0.0, 1.0, 2.5}));
    EXPECT_EQ(sink.finishes, 1);
    EXPECT_TRUE(still("t00000.jpg"));
}

TEST_F(RecorderTest, AFrameTheEncoderIsTooBusyForIsLeftOutButStillTested) {
    sink.busyFrames = {1};
    Recorder& r = started();
    source.deliver(complete(10.0, 16));
    source.deliver(complete(14.0, 235));
    r.finish();

    EXPECT_EQ(sink.appended, (std::vector<double>{0.0}));
    EXPECT_TRUE(still("t00000.jpg"));
    EXPECT_TRUE(still("t00004.jpg"));
}

TEST_F(RecorderTest, AtMostSixFramesWaitWhileOneIsHandled) {
    jpeg.gate = &writerGate;
    Recorder& r = started();
    ASSERT_TRUE(source.deliver(complete(0.0)));
    jpeg.entered.pass();  // the first frame is being handled and holds the queue
    for (int i = 1; i <= 6; ++i) EXPECT_TRUE(source.deliver(complete(i * 0.2))) << i;
    EXPECT_FALSE(source.deliver(complete(1.4)));
    jpeg.gate = nullptr;
    writerGate.open();
    r.finish();
    EXPECT_EQ(sink.appended.size(), 7u);
}

TEST_F(RecorderTest, StopBeforeAnyCompleteFrameCreatesNoVideo) {
    Recorder& r = started();
    source.deliver(idle(1.0));
    r.finish();
    EXPECT_EQ(source.stops, 1);
    EXPECT_EQ(sink.begins, 0);
    EXPECT_EQ(sink.finishes, 0);
}

TEST_F(RecorderTest, StopDuringStartStopsNoCaptureAndWritesNothing) {
    make().finish();
    EXPECT_EQ(source.stops, 0);
    EXPECT_EQ(sink.finishes, 0);
}

TEST_F(RecorderTest, StopWritesTheQueuedFramesThenFinalisesOnce) {
    Recorder& r = started();
    for (int i = 0; i < 4; ++i) source.deliver(complete(100.0 + i * 0.25));
    r.finish();
    EXPECT_EQ(source.stops, 1);
    EXPECT_EQ(sink.appended.size(), 4u);
    EXPECT_EQ(sink.finishes, 1);
}

TEST_F(RecorderTest, StopGoesOnWhenTheCaptureNeverConfirmsItsStop) {
    source.stopCompletes = false;
    Recorder& r = started();
    source.deliver(complete(1.0));
    r.finish();
    EXPECT_EQ(sink.finishes, 1);
}

TEST_F(RecorderTest, StopReturnsWhenTheWriterNeverCompletes) {
    sink.finishGate = &writerGate;
    Recorder& r = started();
    source.deliver(complete(1.0));
    r.finish();  // returns after the writer's time-out, the writer still busy
    EXPECT_EQ(sink.finishes, 1);
}

// A write that never returns (a full disk, a hung network file system) holds the sample queue
// itself, before the stop sequence reaches it: the stop still returns within its limits.
TEST_F(RecorderTest, StopReturnsWhenAFrameIsStuckInTheWriter) {
    timeouts = {200ms, 500ms};
    sink.appendGate = &writerGate;
    Recorder& r = started();
    source.deliver(complete(1.0));
    sink.appendEntered.pass();  // the frame is in the writer and stays there
    const auto begun = std::chrono::steady_clock::now();
    r.finish();
    const auto took = std::chrono::steady_clock::now() - begun;
    EXPECT_GE(took, 450ms);
    EXPECT_LT(took, 10s);
    EXPECT_EQ(sink.finishes, 0) << "the writer was never reached";
}

TEST_F(RecorderTest, AWriterThatFailsStopsTheRecordingAndIsNotFinalised) {
    const std::vector<std::pair<const char*, void (*)(FakeVideoSink&)>> cases = {
        {"begin", [](FakeVideoSink& k) { k.beginAnswer = Failure{"Cannot create v.mp4"}; }},
        {"append", [](FakeVideoSink& k) { k.appendAnswer = Failure{"Cannot create v.mp4"}; }},
    };
    for (const auto& [name, arrange] : cases) {
        FakeVideoSink k;
        arrange(k);
        std::vector<std::string> told;
        Recorder r(
            dir / "v.mp4", dir / "frames", source, k, jpeg,
            [&told](const std::string& why) { told.push_back(why); }, timeouts);
        ASSERT_FALSE(r.start());
        source.deliver(complete(1.0));
        source.deliver(complete(1.2));
        r.finish();
        EXPECT_EQ(told, (std::vector<std::string>{"Cannot create v.mp4"})) << name;
        EXPECT_TRUE(k.appended.empty()) << name;
        EXPECT_EQ(k.finishes, 0) << name;
    }
}

// The video lasts until the stop, and while the screen stays still the last picture is written
// again every 10 s, so that even a killed recorder keeps the timeline to within 10 s. Repeats
// are not new pictures: they get no change test and no still.
TEST_F(RecorderTest, AStillScreenKeepsItsLengthInTheVideo) {
    struct Case {
        const char* name;
        std::vector<Frame> frames;
        double stopAt;                    // capture clock at finish()
        std::vector<double> appended;     // video times written
        std::vector<std::uint8_t> lumas;  // the picture of each, by its first Y' sample
        int stills;                       // only complete frames can make one
    };
    const std::vector<Case> cases = {
        {"a change at 2 s, stopped at 12 s",
         {complete(100.0, 20), complete(102.0, 30), idle(103.0), idle(111.9), idle(112.0)},
         112.0,
         {0.0, 2.0, 12.0},
         {20, 30, 30},
         1},
        {"still for 25 s: a repeat every 10 s, then the stop",
         {complete(0.0, 20), idle(5.0), idle(9.9), idle(10.0), idle(15.0), idle(19.9), idle(20.0),
          idle(25.0)},
         25.5,
         {0.0, 10.0, 20.0, 25.5},
         {20, 20, 20, 20},
         1},
        {"a change resets the repeat clock",
         {complete(0.0, 20), idle(8.0), complete(9.0, 40), idle(18.0), idle(19.0)},
         19.5,
         {0.0, 9.0, 19.0, 19.5},
         {20, 40, 40, 40},
         2},
        {"stopped at the last frame's time: nothing more",
         {complete(50.0, 20), complete(51.0, 25)},
         51.0,
         {0.0, 1.0},
         {20, 25},
         1},
        {"the stop is stamped when asked, not when the capture confirms it",
         {complete(0.0, 20)},
         3.0,
         {0.0, 3.0},
         {20, 20},
         1},
    };
    for (const Case& c : cases) {
        TempDir d;
        FakeScreenSource s;
        FakeVideoSink k;
        FakeJpegEncoder j;
        double clock = 0.0;
        Recorder r(
            d / "v.mp4", d / "frames", s, k, j, [](const std::string&) {}, timeouts,
            [&clock] { return clock; });
        ASSERT_FALSE(r.start()) << c.name;
        for (const Frame& f : c.frames) {
            while (!s.deliver(f)) std::this_thread::yield();
        }
        clock = c.stopAt;
        r.finish();
        EXPECT_EQ(k.appended, c.appended) << c.name;
        EXPECT_EQ(k.appendedLumas, c.lumas) << c.name;
        EXPECT_EQ(k.finishes, 1) << c.name;
        EXPECT_EQ(j.calls, c.stills) << c.name << ": repeats and the stop make no still";
    }
}

TEST_F(RecorderTest, TheLastPictureIsRepeatedEvenWhenTheEncoderWasTooBusyForIt) {
    sink.busyFrames = {1};  // the second complete frame finds the encoder busy
    Recorder& r = started();
    source.deliver(complete(0.0, 20));
    source.deliver(complete(1.0, 90));
    now = 4.0;
    r.finish();
    EXPECT_EQ(sink.appended, (std::vector<double>{0.0, 4.0}));
    EXPECT_EQ(sink.appendedLumas, (std::vector<std::uint8_t>{20, 90}));
}

// The encoder is told what differs from the picture it took last: a frame it was too busy for
// adds its change to the next one, and a repeat changes nothing.
TEST_F(RecorderTest, TheEncoderIsToldWhatChangedSinceThePictureItTookLast) {
    sink.busyFrames = {2};
    Recorder& r = started();
    const auto changed = [](double pts, std::vector<Rect> rects) {
        Frame f = complete(pts);
        f.change = {false, std::move(rects)};
        return f;
    };
    source.deliver(changed(0.0, {{0, 0, 2, 2}}));  // the first is whole whatever it says
    source.deliver(changed(0.2, {{2, 2, 4, 4}}));
    source.deliver(changed(0.4, {{4, 4, 2, 2}}));  // the encoder is busy
    source.deliver(changed(0.6, {{8, 8, 2, 2}}));
    Frame unknown = complete(0.8);  // a source that cannot say
    source.deliver(unknown);
    source.deliver(idle(11.0));  // a repeat of a still screen
    now = 12.0;
    r.finish();
    ASSERT_EQ(sink.appended, (std::vector<double>{0.0, 0.2, 0.6, 0.8, 11.0, 12.0}));
    const auto said = [&](std::size_t i) {
        const PictureChange& c = sink.appendedChanges.at(i);
        if (c.whole) return std::string("whole");
        std::string text;
        for (const Rect& r : c.rects)
            text += "(" + std::to_string(r.x) + "," + std::to_string(r.y) + ")";
        return text.empty() ? std::string("none") : text;
    };
    EXPECT_EQ(said(0), "whole");
    EXPECT_EQ(said(1), "(2,2)");
    EXPECT_EQ(said(2), "(4,4)(8,8)");
    EXPECT_EQ(said(3), "whole");
    EXPECT_EQ(said(4), "none");
    EXPECT_EQ(said(5), "none");
}

// A source that delivers into a full queue (it should have asked wantsFrame() first) loses
// those frames, but not what they changed: the next frame carries it, so the encoder never
// skips a block that changed.
TEST_F(RecorderTest, WhatAFrameThatFoundTheQueueFullChangedGoesWithTheNext) {
    sink.appendGate = &writerGate;
    Recorder& r = started();
    const auto changed = [](double pts, int x) {
        Frame f = complete(pts);
        f.change = {false, {{x, 0, 2, 2}}};
        return f;
    };
    source.receiver->receive(changed(0.0, 0));
    sink.appendEntered.pass();  // the writer holds the first frame; the rest wait in the queue
    double pts = 0.2;
    for (int x = 2; x < 2 + 2 * CAPTURE_QUEUE_DEPTH; x += 2, pts += 0.2)
        source.receiver->receive(changed(pts, x));
    source.receiver->receive(changed(pts, 20));  // the queue is full: none of these two is taken
    source.receiver->receive(changed(pts + 0.2, 22));
    writerGate.open();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!source.deliver(changed(pts + 0.4, 24))) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the queue never drained";
        std::this_thread::yield();
    }
    r.finish();
    // The frame after them (the stop may repeat it, changing nothing).
    const auto next =
        std::find_if(sink.appendedChanges.rbegin(), sink.appendedChanges.rend(),
                     [](const PictureChange& c) { return c.whole || !c.rects.empty(); });
    ASSERT_NE(next, sink.appendedChanges.rend());
    EXPECT_FALSE(next->whole);
    EXPECT_EQ(next->rects, (std::vector<Rect>{{20, 0, 2, 2}, {22, 0, 2, 2}, {24, 0, 2, 2}}));
}

TEST(PictureChange, AddingGivesWhatDiffersFromTheEarlierPicture) {
    PictureChange c = PictureChange::none();
    c.add({false, {{0, 0, 2, 2}}});
    c.add(PictureChange::none());
    c.add({false, {{4, 4, 2, 2}}});
    EXPECT_FALSE(c.whole);
    EXPECT_EQ(c.rects, (std::vector<Rect>{{0, 0, 2, 2}, {4, 4, 2, 2}}));
    c.add(PictureChange{});
    EXPECT_TRUE(c.whole);
    c.add({false, {{6, 6, 2, 2}}});
    EXPECT_TRUE(c.whole) << "once anything may have changed, it stays so";
    PictureChange many = PictureChange::none();
    for (int i = 0; i < 300; ++i) many.add({false, {{i, 0, 1, 1}}});
    EXPECT_TRUE(many.whole) << "a list too long to be worth it becomes the whole picture";
}

TEST_F(RecorderTest, ACaptureThatEndsWithAnErrorIsReported) {
    started();
    source.receiver->stopped("Lost the connection to the X server");
    EXPECT_EQ(failures, (std::vector<std::string>{"Lost the connection to the X server"}));
}

TEST_F(RecorderTest, AChangedDisplayIsPassedOnAndRecordingGoesOn) {
    Recorder& r = started();
    source.deliver(complete(1.0));
    source.receiver->displayChanged("the main display is now 1280x720");
    source.deliver(complete(2.0));
    now = 2.0;
    r.finish();
    EXPECT_EQ(notices, (std::vector<std::string>{"the main display is now 1280x720"}));
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(sink.appended, (std::vector<double>{0.0, 1.0}));
}

}  // namespace
}  // namespace hc
