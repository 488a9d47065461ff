// hc-screen record as the backend runs it, on a private Xvfb: stopping by signal, being
// killed, losing the X server, and displays it cannot reach.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "media_probe.h"
#include "support/xvfb.h"
#include "temp_dir.h"
#include "vnc_server.h"
#include "x_scene.h"

namespace hc {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

// Keeps a window on the test's display changing until it goes.
class ChangingScreen {
  public:
    explicit ChangingScreen(const std::string& display)
        : thread_([this, display] {
              test::XScene scene(display);
              if (!scene.connected()) return;
              const xcb_window_t w = scene.window({100, 100, 800, 500}, 0x000000);
              for (std::uint32_t n = 0; !done_; ++n) {
                  scene.fill(w, (n * 0x2F4F1D) & 0xFFFFFF);
                  scene.movePointer(200 + static_cast<int>(n % 50) * 10, 300);
                  std::this_thread::sleep_for(150ms);
              }
          }) {}
    ~ChangingScreen() {
        done_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class RecordProgramTest : public testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path video = dir / "v.mp4";
    std::filesystem::path frames = dir / "frames";
    std::filesystem::path out = dir / "out.txt";
    std::filesystem::path err = dir / "err.txt";

    std::unique_ptr<ChildProcess> record(const std::string& display) {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{HC_SCREEN, "record", video.string(), frames.string()},
            // An X11 session, even when the tests run inside a Wayland desktop.
            std::map<std::string, std::string>{
                {"DISPLAY", display}, {"WAYLAND_DISPLAY", ""}, {"XDG_SESSION_TYPE", "x11"}},
            out, err);
    }
    bool recording() { return test::waitForText(out, "recording\n", 20s); }
};

// Whether the fragmented MP4 was finished: it ends with the random-access index (mfra), whose
// last four bytes give its own length.
bool finalised(const std::filesystem::path& video) {
    const std::string bytes = test::readFile(video);
    if (bytes.size() < 16) return false;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    const std::size_t n = bytes.size();
    const std::size_t length =
        (byte(n - 4) << 24) | (byte(n - 3) << 16) | (byte(n - 2) << 8) | byte(n - 1);
    return length >= 16 && length <= n && bytes.compare(n - length + 4, 4, "mfra") == 0;
}

// Whether libjpeg-turbo decodes the file without as much as a warning (a cut file gives
// "Premature end of JPEG file"). ffmpeg's own decoder is no judge here: it warns "EOI missing"
// about some whole files.
bool wholeJpeg(const std::filesystem::path& path) {
    const std::string bytes = test::readFile(path);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    bool whole = tjDecompressHeader3(handle, data, bytes.size(), &width, &height, &subsampling,
                                     &colorspace) == 0;
    if (whole) {
        std::vector<unsigned char> pixels(std::size_t(width) * height * 3);
        whole = tjDecompress2(handle, data, bytes.size(), pixels.data(), width, 0, height, TJPF_RGB,
                              TJFLAG_STOPONWARNING) == 0;
    }
    tjDestroy(handle);
    return whole;
}

int exitStatus(const std::optional<int>& status) {
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

TEST_F(RecordProgramTest, SigintFinalisesAPlayableVideoAndAStill) {
    qv::test::Xvfb xvfb(1920, 1080);
    ASSERT_TRUE(xvfb.running());
    auto child = record(xvfb.display());
    ASSERT_TRUE(recording()) << test::readFile(err);
    {
        ChangingScreen changing(xvfb.display());
        std::this_thread::sleep_for(3s);
    }
    child->signal(SIGINT);
    child->signal(SIGTERM);  // a second signal changes nothing
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    EXPECT_EQ(test::readFile(out), "recording\n");
    EXPECT_EQ(test::readFile(err), "");

    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.warnings, "");
    EXPECT_EQ(p.codec, "h264");
    EXPECT_LE(p.width, 1600);
    EXPECT_EQ(p.width % 2, 0);
    EXPECT_EQ(p.height % 2, 0);
    EXPECT_EQ(p.width * 1080, p.height * 1920) << "the screen's shape is kept";
    ASSERT_GE(p.packetTimes.size(), 5u);
    for (std::size_t i = 1; i < p.packetTimes.size(); ++i)
        EXPECT_GE(p.packetTimes[i] - p.packetTimes[i - 1], 0.198) << "at most 5 frames a second";

    const test::Probe still = test::probe(frames / "t00000.jpg");
    ASSERT_TRUE(still.ok) << still.warnings;
    EXPECT_EQ(still.codec, "mjpeg");
    EXPECT_EQ(still.width, p.width);
    EXPECT_EQ(still.height, p.height);
}

TEST_F(RecordProgramTest, AScreenThatStaysBlackIsSaidOnceAndStillRecorded) {
    qv::test::Xvfb xvfb(640, 480);  // nothing drawn: the root stays black
    ASSERT_TRUE(xvfb.running());
    auto child = record(xvfb.display());
    ASSERT_TRUE(recording()) << test::readFile(err);
    ASSERT_TRUE(test::waitForText(err, "\n", 20s));
    std::this_thread::sleep_for(1s);  // room for a wrongly repeated warning
    child->signal(SIGINT);
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    EXPECT_EQ(test::readFile(err),
              "warning: every frame of the first 3 seconds is black: the screen is probably not "
              "being captured (check the display or the screen-sharing set-up)\n");
    EXPECT_EQ(test::readFile(out), "recording\n");
    EXPECT_TRUE(test::probe(video).ok);
}

TEST_F(RecordProgramTest, SigkillLeavesAFileWhoseFramesDecode) {
    qv::test::Xvfb xvfb(1280, 720);
    ASSERT_TRUE(xvfb.running());
    auto child = record(xvfb.display());
    ASSERT_TRUE(recording()) << test::readFile(err);
    {
        ChangingScreen changing(xvfb.display());
        std::this_thread::sleep_for(3s);
        child->signal(SIGKILL);
        child->wait(10s);
    }
    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.codec, "h264");
    EXPECT_GE(p.decodedFrames, 5);
}

// The video lasts until the stop even when the screen stands still, and a killed recorder
// keeps its timeline to within 10 s: the last picture is written again while nothing changes.
TEST_F(RecordProgramTest, AStillScreenKeepsItsLengthInTheVideo) {
    struct Case {
        const char* name;
        int signal;
        std::chrono::milliseconds after;  // from "recording" to the signal
        double lastAtLeast, lastBelow;    // where the video's last frame starts
    };
    const Case cases[] = {
        {"stopped by SIGINT", SIGINT, 6s, 5.5, 7.0},
        {"killed", SIGKILL, 11500ms, 9.9, 11.5},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(video);
        std::filesystem::remove(out);
        qv::test::Xvfb xvfb(640, 480);
        ASSERT_TRUE(xvfb.running());
        {
            test::XScene scene(xvfb.display());
            scene.movePointer(639, 479);
            scene.fillRoot(0x336699);
        }
        auto child = record(xvfb.display());
        ASSERT_TRUE(recording()) << c.name << ": " << test::readFile(err);
        std::this_thread::sleep_for(c.after);
        child->signal(c.signal);
        child->wait(30s);
        const test::Probe p = test::probe(video);
        ASSERT_TRUE(p.ok) << c.name << ": " << p.warnings;
        ASSERT_GE(p.packetTimes.size(), 2u) << c.name;
        EXPECT_GE(p.packetTimes.back(), c.lastAtLeast) << c.name;
        EXPECT_LT(p.packetTimes.back(), c.lastBelow) << c.name;
        EXPECT_LE(p.packetTimes.size(), 4u) << c.name << ": a still screen costs few frames";
    }
}

// A smaller screen 3 s into a recording: the video goes on at its size, and the change is said
// once on standard error.
TEST_F(RecordProgramTest, AResizedScreenIsRecordedOnAndTheChangeSaidOnce) {
    if (const std::string missing = test::VncServer::missingTools(); !missing.empty())
        GTEST_SKIP() << missing;
    test::VncServer vnc(1920, 1080);
    ASSERT_TRUE(vnc.running());
    auto child = record(vnc.display());
    ASSERT_TRUE(recording()) << test::readFile(err);
    {
        ChangingScreen changing(vnc.display());
        std::this_thread::sleep_for(3s);
        ASSERT_TRUE(vnc.xrandr("-s 1280x720"));
        std::this_thread::sleep_for(3s);
    }
    child->signal(SIGINT);
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    EXPECT_EQ(test::readFile(err),
              "screen changed: recording the main display at 1280x720+0+0 (was 1920x1080+0+0), "
              "scaled into the video's 1600x900\n");
    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.width, 1600);
    EXPECT_EQ(p.height, 900);
    ASSERT_FALSE(p.packetTimes.empty());
    int after = 0;
    for (double t : p.packetTimes) after += t > 3.5;
    EXPECT_GE(after, 5) << "frames keep coming after the change";
}

// However the stop arrives (one signal, both at once, the same one twice), the video is
// finalised and the process ends with status 0.
TEST_F(RecordProgramTest, EveryWayOfStoppingFinalisesTheVideo) {
    struct Case {
        const char* name;
        std::vector<int> signals;  // sent one after the other, 100 ms apart
    };
    const Case cases[] = {
        {"SIGTERM", {SIGTERM}},
        {"SIGINT and SIGTERM together", {SIGINT, SIGTERM}},
        {"SIGTERM twice", {SIGTERM, 0, SIGTERM}},
    };
    qv::test::Xvfb xvfb(640, 480);
    ASSERT_TRUE(xvfb.running());
    ChangingScreen changing(xvfb.display());
    for (const Case& c : cases) {
        std::filesystem::remove(video);
        auto child = record(xvfb.display());
        ASSERT_TRUE(recording()) << c.name << ": " << test::readFile(err);
        std::this_thread::sleep_for(1500ms);
        for (int sig : c.signals) {
            if (sig == 0)
                std::this_thread::sleep_for(100ms);
            else
                child->signal(sig);
        }
        EXPECT_EQ(exitStatus(child->wait(30s)), 0) << c.name;
        EXPECT_EQ(test::readFile(err), "") << c.name;
        const test::Probe p = test::probe(video);
        ASSERT_TRUE(p.ok) << c.name << ": " << p.warnings;
        EXPECT_EQ(p.warnings, "") << c.name;
        EXPECT_GE(p.decodedFrames, 3) << c.name;
        EXPECT_TRUE(finalised(video)) << c.name;
    }
}

// A disk that fills up ends the recording by itself: one "stopped: " line, status 0, the frames
// written so far decode, and no still is left cut under a still's name.
TEST_F(RecordProgramTest, AFullDiskStopsTheRecordingAndKeepsWhatWasWritten) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::filesystem::path disk = dir / "disk";
    std::filesystem::create_directory(disk);
    if (test::runCommand("mount -t tmpfs -o size=1m tmpfs '" + disk.string() + "'").status != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        std::filesystem::path path;
        ~Unmount() { test::runCommand("umount '" + path.string() + "'"); }
    } unmount{disk};
    // Leaves some 120 kB free: a few seconds of a changing screen.
    std::ofstream(disk / "filler", std::ios::binary) << std::string(900 * 1024, 'x');
    qv::test::Xvfb xvfb(640, 480);
    ASSERT_TRUE(xvfb.running());
    ChangingScreen changing(xvfb.display());
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{HC_SCREEN, "record", (disk / "v.mp4").string(),
                                 (disk / "frames").string()},
        std::map<std::string, std::string>{{"DISPLAY", xvfb.display()}}, out, err);
    EXPECT_EQ(exitStatus(child->wait(90s)), 0);
    const std::string said = test::readFile(err);
    EXPECT_EQ(said.rfind("stopped: Cannot write " + (disk / "v.mp4").string() + ": ", 0), 0u)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    const test::Probe p = test::probe(disk / "v.mp4");
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_GE(p.decodedFrames, 2);
    for (const auto& entry : std::filesystem::directory_iterator(disk / "frames"))
        EXPECT_TRUE(wholeJpeg(entry.path())) << entry.path();
}

TEST_F(RecordProgramTest, LosingTheXServerStopsAndFinalisesTheVideo) {
    auto xvfb = std::make_unique<qv::test::Xvfb>(640, 480);
    ASSERT_TRUE(xvfb->running());
    auto child = record(xvfb->display());
    ASSERT_TRUE(recording()) << test::readFile(err);
    std::this_thread::sleep_for(1s);
    xvfb.reset();
    EXPECT_EQ(exitStatus(child->wait(30s)), 0);
    EXPECT_EQ(test::readFile(err), "stopped: Lost the connection to the X server\n");
    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.warnings, "");
}

// A display number nobody serves on this machine.
int freeDisplay() {
    for (int n = 4700; n < 4800; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (!std::filesystem::exists(socket) && !std::filesystem::exists(lock)) return n;
    }
    return -1;
}

TEST_F(RecordProgramTest, AnUnreachableDisplayFailsTheStart) {
    const int n = freeDisplay();
    ASSERT_GT(n, 0);
    const std::string display = ":" + std::to_string(n);
    auto child = record(display);
    EXPECT_EQ(exitStatus(child->wait(20s)), 1);
    EXPECT_EQ(test::readFile(err),
              "screen: Cannot open display \"" + display + "\": cannot connect to the X server\n");
    EXPECT_EQ(test::readFile(out), "");
    EXPECT_FALSE(std::filesystem::exists(video));
}

// An X server that accepts connections and never answers: start never gets past connecting.
class SilentXServer {
  public:
    SilentXServer() {
        std::filesystem::create_directories("/tmp/.X11-unix");
        number_ = freeDisplay();
        path_ = "/tmp/.X11-unix/X" + std::to_string(number_);
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        path_.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 4) != 0)
            number_ = -1;
    }
    ~SilentXServer() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    bool listening() const { return number_ > 0; }
    std::string display() const { return ":" + std::to_string(number_); }

  private:
    int number_ = -1;
    int fd_ = -1;
    std::string path_;
};

bool blocksSigterm(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigBlk:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

TEST_F(RecordProgramTest, SigtermBeforeTheFirstFrameLeavesNoVideo) {
    SilentXServer server;
    ASSERT_TRUE(server.listening());
    auto child = record(server.display());
    for (int i = 0; i < 500 && !blocksSigterm(child->pid()); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(blocksSigterm(child->pid()));
    child->signal(SIGTERM);
    EXPECT_EQ(exitStatus(child->wait(10s)), 0);
    EXPECT_EQ(test::readFile(out), "");
    EXPECT_EQ(test::readFile(err), "");
    EXPECT_FALSE(std::filesystem::exists(video));
}

}  // namespace
}  // namespace hc
