// The capture thread both screen sources deliver on: passes at the times they ask for or at
// once when woken, a stop that waits for the running pass, and a capture that ends by itself.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "capture_thread.h"
#include "recorder_fakes.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using Clock = CaptureThread::Clock;
using test::Gate;

constexpr auto LIMIT = 20s;  // generous: the machine may be busy

// Counts passes and hears why the capture ended; any thread.
class Watch final : public FrameReceiver {
  public:
    bool wantsFrame() override { return true; }
    void receive(Frame) override {}
    void stopped(const std::string& error) override {
        std::lock_guard lock(mutex_);
        stops_.push_back(error);
        cv_.notify_all();
    }
    void displayChanged(const std::string&) override {}

    void passed() {
        std::lock_guard lock(mutex_);
        ++passes_;
        cv_.notify_all();
    }
    int passes() {
        std::lock_guard lock(mutex_);
        return passes_;
    }
    std::vector<std::string> stops() {
        std::lock_guard lock(mutex_);
        return stops_;
    }
    // Waits until `condition` holds, looking again whenever something happened (and at least
    // every 10 ms); false after LIMIT.
    bool waitFor(const std::function<bool()>& condition) {
        const auto end = Clock::now() + LIMIT;
        while (!condition()) {
            if (Clock::now() >= end) return false;
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, 10ms);
        }
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int passes_ = 0;
    std::vector<std::string> stops_;
};

// A pass that asks to run again only in an hour: anything sooner was a wake.
CaptureThread::Pass hourly(Watch& watch) {
    return [&watch](Clock::time_point now) -> std::variant<Clock::time_point, Failure> {
        watch.passed();
        return now + 1h;
    };
}

TEST(CaptureThread, RunsAPassAtOnceAndTheNextWhenWoken) {
    Watch watch;
    CaptureThread thread;
    ASSERT_EQ(thread.start(hourly(watch), watch), std::nullopt);
    ASSERT_TRUE(watch.waitFor([&] { return watch.passes() == 1; }));
    thread.wake();
    EXPECT_TRUE(watch.waitFor([&] { return watch.passes() == 2; }));
    thread.wake();
    EXPECT_TRUE(watch.waitFor([&] { return watch.passes() == 3; }));
}

TEST(CaptureThread, RunsPassesAtTheTimesTheyAskFor) {
    Watch watch;
    CaptureThread thread;
    std::vector<Clock::time_point> asked, ran;
    std::mutex mutex;
    ASSERT_EQ(thread.start(
                  [&](Clock::time_point now) -> std::variant<Clock::time_point, Failure> {
                      {
                          std::lock_guard lock(mutex);
                          ran.push_back(now);
                          asked.push_back(now + 30ms);
                      }
                      watch.passed();
                      return now + 30ms;
                  },
                  watch),
              std::nullopt);
    ASSERT_TRUE(watch.waitFor([&] { return watch.passes() >= 4; }));
    thread.join();
    std::lock_guard lock(mutex);
    for (std::size_t i = 1; i < ran.size(); ++i) EXPECT_GE(ran[i], asked[i - 1]) << i;
}

TEST(CaptureThread, AStopWaitsForTheRunningPassAndNoPassFollows) {
    Watch watch;
    Gate entered, release;
    std::atomic<bool> done{false};
    std::atomic<int> passesAfterDone{0};
    CaptureThread thread;
    ASSERT_EQ(thread.start(
                  [&](Clock::time_point now) -> std::variant<Clock::time_point, Failure> {
                      if (done) ++passesAfterDone;
                      watch.passed();
                      if (watch.passes() == 2) {
                          entered.open();
                          release.pass();
                      }
                      return now;  // at once again
                  },
                  watch),
              std::nullopt);
    entered.pass();
    thread.stop([&] { done = true; });
    EXPECT_FALSE(done) << "the pass still runs";
    release.open();
    EXPECT_TRUE(watch.waitFor([&] { return done.load(); }));
    thread.join();
    EXPECT_EQ(passesAfterDone, 0);
    EXPECT_TRUE(watch.stops().empty()) << "a stop is no failure";
    // A later stop finds nothing running: done at once, on the caller's thread.
    bool again = false;
    thread.stop([&] { again = true; });
    EXPECT_TRUE(again);
}

TEST(CaptureThread, AFailedPassOrAnEndStopsTheCaptureAndSaysWhyOnce) {
    struct Case {
        const char* name;
        bool passFails;
    };
    for (const Case c : {Case{"the pass fails", true}, Case{"the service ends", false}}) {
        Watch watch;
        CaptureThread thread;
        auto pass = [&](Clock::time_point now) -> std::variant<Clock::time_point, Failure> {
            watch.passed();
            if (c.passFails) return Failure{"gone"};
            return now + 1h;
        };
        ASSERT_EQ(thread.start(pass, watch), std::nullopt) << c.name;
        ASSERT_TRUE(watch.waitFor([&] { return watch.passes() == 1; })) << c.name;
        if (!c.passFails) {
            thread.end("gone");
            thread.end("gone again");  // only the first reason counts
        }
        EXPECT_TRUE(watch.waitFor([&] { return !watch.stops().empty(); })) << c.name;
        thread.join();
        EXPECT_EQ(watch.stops(), std::vector<std::string>{"gone"}) << c.name;
        EXPECT_EQ(watch.passes(), 1) << c.name;
        bool done = false;
        thread.stop([&] { done = true; });
        EXPECT_TRUE(done) << c.name << ": nothing left to stop";
    }
}

TEST(CaptureThread, AStopOrAnEndBeforeTheStartStartsNothing) {
    {
        Watch watch;
        CaptureThread thread;
        bool done = false;
        thread.stop([&] { done = true; });
        EXPECT_TRUE(done);
        EXPECT_EQ(thread.start(hourly(watch), watch), std::nullopt);
        thread.join();
        EXPECT_EQ(watch.passes(), 0);
    }
    {
        Watch watch;
        CaptureThread thread;
        thread.end("Screen sharing was stopped");
        const std::optional<Failure> failure = thread.start(hourly(watch), watch);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->description, "Screen sharing was stopped");
        thread.join();
        EXPECT_EQ(watch.passes(), 0);
        EXPECT_TRUE(watch.stops().empty()) << "the start's failure says it";
    }
}

}  // namespace
}  // namespace hc
