// hc-screen record on a real, headless Wayland session (Mutter with XWayland, PipeWire, the
// desktop portal with its GNOME backend): what the video shows, the dialog and the token that
// lets the next recording skip it, refusals and missing services, and a compositor that goes.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "child_process.h"
#include "media_probe.h"
#include "support/wayland_session.h"
#include "temp_dir.h"
#include "x_scene.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using qv::test::WaylandSession;
using test::ChildProcess;
using test::TempDir;

constexpr const char* NEEDS_PORTAL_LINE =
    "screen: Screen capture on Wayland needs xdg-desktop-portal with a ScreenCast backend (for "
    "example xdg-desktop-portal-gnome or -kde)\n";

using Rgb = std::array<int, 3>;

// The colour at (x, y) of frame `n` of a video, or of a still.
Rgb pixelAt(const std::filesystem::path& file, int x, int y, int n = 0) {
    const auto r =
        test::runCommand("ffmpeg -v error -i '" + file.string() + "' -vf 'select=eq(n\\," +
                         std::to_string(n) + "),format=rgb24,crop=1:1:" + std::to_string(x) + ":" +
                         std::to_string(y) + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    if (r.out.size() < 3) return {-1, -1, -1};
    return {static_cast<unsigned char>(r.out[0]), static_cast<unsigned char>(r.out[1]),
            static_cast<unsigned char>(r.out[2])};
}

bool near(const Rgb& a, const Rgb& b, int tolerance = 24) {
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance) return false;
    return true;
}

std::string show(const Rgb& c) {
    return "(" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) +
           ")";
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

int exitStatus(const std::optional<int>& status) {
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

class WaylandRecordTest : public testing::Test {
  protected:
    void SetUp() override { start({}); }

    void start(WaylandSession::Options options) {
        session = std::make_unique<WaylandSession>(options);
        ASSERT_TRUE(session->running()) << session->error();
        env = session->clientEnvironment();
        // The test's own X clients draw on XWayland.
        setenv("XAUTHORITY", env["XAUTHORITY"].c_str(), 1);
    }

    // Runs hc-screen record as the backend does; the outputs go to files named after `name`.
    std::unique_ptr<ChildProcess> record(const std::string& name) {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{HC_SCREEN, "record", (dir / (name + ".mp4")).string(),
                                     (dir / (name + "-frames")).string()},
            env, dir / (name + ".out"), dir / (name + ".err"));
    }
    std::string out(const std::string& name) { return test::readFile(dir / (name + ".out")); }
    std::string err(const std::string& name) { return test::readFile(dir / (name + ".err")); }
    bool recording(const std::string& name, std::chrono::milliseconds limit = 30s) {
        return test::waitForText(dir / (name + ".out"), "recording\n", limit);
    }
    bool share(const std::string& name) {
        return session->answerDialog(WaylandSession::Answer::Share,
                                     [&] { return out(name) == "recording\n"; });
    }

    TempDir dir;
    std::unique_ptr<WaylandSession> session;
    std::map<std::string, std::string> env;
};

// Keeps an X window on XWayland changing colour, every `period`, until it goes.
class ChangingWindow {
  public:
    ChangingWindow(const std::string& display, Rect where, std::chrono::milliseconds period = 300ms)
        : thread_([this, display, where, period] {
              test::XScene scene(display);
              if (!scene.connected()) return;
              const xcb_window_t w = scene.window(where, 0xFF0000);
              for (std::uint32_t n = 1; !done_; ++n) {
                  scene.fill(w, n % 2 ? 0x00FF00 : 0xFF0000);
                  std::this_thread::sleep_for(period);
              }
          }) {}
    ~ChangingWindow() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(WaylandRecordTest, RecordsTheDesktopAndTheSecondRecordingStartsWithoutAsking) {
    auto first = record("first");
    ASSERT_TRUE(share("first")) << err("first");
    const Rect where{960, 100, 480, 270};  // in the 1920x1080 desktop
    {
        ChangingWindow window(env["DISPLAY"], where);
        std::this_thread::sleep_for(4s);
    }
    first->signal(SIGINT);
    EXPECT_EQ(exitStatus(first->wait(30s)), 0);
    EXPECT_EQ(out("first"), "recording\n");
    EXPECT_EQ(err("first"), "");

    const auto video = dir / "first.mp4";
    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.warnings, "");
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 1600);
    EXPECT_EQ(p.height, 900);
    EXPECT_GE(p.decodedFrames, 6) << "the window's changes are frames";
    for (std::size_t i = 1; i < p.packetTimes.size(); ++i)
        EXPECT_GE(p.packetTimes[i] - p.packetTimes[i - 1], 0.198) << "at most 5 frames a second";

    // Mutter's default background, a blue gradient, where no window is; the window's two
    // colours where it is (1920 -> 1600: x 960..1440 -> 800..1200, y 100..370 -> 83..308).
    const Rgb background = pixelAt(video, 300, 700, p.decodedFrames - 1);
    EXPECT_GE(background[2], 80) << show(background);
    EXPECT_GE(background[2] - background[0], 50) << show(background);
    std::set<std::string> windowColours;
    for (int n = 1; n < p.decodedFrames; ++n) {
        const Rgb c = pixelAt(video, 1000, 200, n);
        if (near(c, {255, 0, 0}, 40)) windowColours.insert("red");
        if (near(c, {0, 255, 0}, 40)) windowColours.insert("green");
    }
    EXPECT_EQ(windowColours, (std::set<std::string>{"green", "red"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "first-frames" / "t00000.jpg"));

    // The permission is kept for the next recording, readable by this user only.
    const auto token = std::filesystem::path(env["XDG_STATE_HOME"]) / "hc-screen" / "restore-token";
    struct stat st {};
    ASSERT_EQ(stat(token.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto second = record("second");
    EXPECT_TRUE(recording("second")) << "no dialog answered: " << err("second");
    const auto still = dir / "second-frames" / "t00000.jpg";
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(still); }, 20s));
    second->signal(SIGTERM);
    EXPECT_EQ(exitStatus(second->wait(30s)), 0);
    EXPECT_EQ(err("second"), "");
    const Rgb desktop = pixelAt(still, 300, 700);
    EXPECT_TRUE(near(desktop, background)) << show(desktop) << " against " << show(background);
}

// The compositor sends a picture whenever the window changes, at most five a second; each one
// is a frame of the video, however the compositor's clock and ours drift.
TEST_F(WaylandRecordTest, AScreenThatKeepsChangingGetsFiveFramesASecond) {
    auto child = record("busy");
    ASSERT_TRUE(share("busy")) << err("busy");
    std::vector<double> times;
    {
        ChangingWindow window(env["DISPLAY"], {200, 200, 640, 360}, 40ms);
        std::this_thread::sleep_for(10s);
        child->signal(SIGINT);
        EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    }
    EXPECT_EQ(err("busy"), "");
    const test::Probe p = test::probe(dir / "busy.mp4");
    ASSERT_TRUE(p.ok) << p.warnings;
    ASSERT_GE(p.packetTimes.size(), 2u);
    const double span = p.packetTimes.back() - p.packetTimes.front();
    const double rate = (p.packetTimes.size() - 1) / span;
    std::string gaps;
    for (std::size_t i = 1; i < p.packetTimes.size(); ++i) {
        const double gap = p.packetTimes[i] - p.packetTimes[i - 1];
        EXPECT_GE(gap, 0.198) << "at most 5 frames a second, at " << p.packetTimes[i];
        gaps += " " + std::to_string(static_cast<int>(gap * 1000));
    }
    EXPECT_GE(span, 8.0);
    EXPECT_GE(rate, 4.5) << p.packetTimes.size() << " frames in " << span
                         << " s; gaps (ms):" << gaps;
}

TEST_F(WaylandRecordTest, DecliningTheDialogFailsTheStart) {
    auto child = record("declined");
    std::optional<int> status;
    EXPECT_TRUE(session->answerDialog(WaylandSession::Answer::Cancel, [&] {
        status = child->wait(0ms);
        return status.has_value();
    }));
    EXPECT_EQ(exitStatus(status), 1);
    EXPECT_EQ(err("declined"), "screen: Screen sharing was declined\n");
    EXPECT_EQ(out("declined"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "declined.mp4"));
}

TEST_F(WaylandRecordTest, ASignalWhileTheDialogIsOpenEndsWithoutAFile) {
    auto child = record("asked");
    // The GNOME backend is started by the portal when it is about to ask.
    ASSERT_TRUE(waitUntil(
        [&] { return session->serves("org.freedesktop.impl.portal.desktop.gnome"); }, 30s));
    std::this_thread::sleep_for(1s);  // let the dialog come up; the outcome is the same if not
    child->signal(SIGTERM);
    EXPECT_EQ(exitStatus(child->wait(10s)), 0);
    EXPECT_EQ(out("asked"), "");
    EXPECT_EQ(err("asked"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "asked.mp4"));
    // The portal was left in order: the next recording is asked again and starts.
    auto next = record("next");
    EXPECT_TRUE(share("next")) << err("next");
}

TEST_F(WaylandRecordTest, TheCompositorGoingAwayStopsTheRecordingAndKeepsTheVideo) {
    auto child = record("lost");
    ASSERT_TRUE(share("lost")) << err("lost");
    {
        ChangingWindow window(env["DISPLAY"], {100, 100, 400, 300});
        std::this_thread::sleep_for(2s);
    }
    session->stopCompositor();
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    const std::string why = err("lost");
    EXPECT_EQ(why.rfind("stopped: ", 0), 0u) << why;
    EXPECT_EQ(std::count(why.begin(), why.end(), '\n'), 1) << why;
    const test::Probe p = test::probe(dir / "lost.mp4");
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.warnings, "");
    EXPECT_GE(p.decodedFrames, 2);
}

TEST_F(WaylandRecordTest, TheAgentsWindowsOnXWaylandArePaintedOver) {
    test::XScene scene(env["DISPLAY"]);
    ASSERT_TRUE(scene.connected());
    scene.window({240, 240, 480, 360}, 0xFF0000, test::wmClassOf("com.lumaret.quorvia"));
    scene.window({1200, 240, 480, 360}, 0x00FF00, test::wmClassOf("org.example.call"));
    auto child = record("hidden");
    ASSERT_TRUE(share("hidden")) << err("hidden");
    std::this_thread::sleep_for(1s);
    child->signal(SIGINT);
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    // 1920 -> 1600: the hidden window's middle (480, 420) is at (400, 350), the other's
    // (1440, 420) at (1200, 350).
    const auto video = dir / "hidden.mp4";
    const Rgb hidden = pixelAt(video, 400, 350);
    const Rgb shown = pixelAt(video, 1200, 350);
    EXPECT_TRUE(near(hidden, {0x40, 0x40, 0x40})) << show(hidden);
    EXPECT_TRUE(near(shown, {0, 255, 0}, 40)) << show(shown);
}

class WaylandWithoutPortalTest : public WaylandRecordTest {
  protected:
    void SetUp() override {}
};

TEST_F(WaylandWithoutPortalTest, NoPortalOnTheBusFailsTheStartAndLeavesXWaylandAlone) {
    start({1920, 1080, WaylandSession::Portal::None});
    auto child = record("none");
    EXPECT_EQ(exitStatus(child->wait(30s)), 1);
    EXPECT_EQ(err("none"), NEEDS_PORTAL_LINE);
    EXPECT_EQ(out("none"), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "none.mp4"));
}

TEST_F(WaylandWithoutPortalTest, APortalWithoutScreenCastFailsTheStart) {
    start({1920, 1080, WaylandSession::Portal::WithoutScreenCast});
    auto child = record("nocast");
    EXPECT_EQ(exitStatus(child->wait(30s)), 1);
    EXPECT_EQ(err("nocast"), NEEDS_PORTAL_LINE);
    EXPECT_EQ(out("nocast"), "");
}

}  // namespace
}  // namespace hc
