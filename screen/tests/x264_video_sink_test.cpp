// The video sink writing real files, read back with ffprobe.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "media_probe.h"
#include "platform/x264_video_sink.h"
#include "temp_dir.h"

namespace hc {
namespace {

using test::TempDir;

// A picture that differs from frame to frame, so the encoder has something to encode.
Picture pattern(int width, int height, int n) {
    Picture p(width, height);
    p.fill(60, 110, 150);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.plane(0)[y * width + x] = static_cast<std::uint8_t>(16 + ((x + y + n * 7) % 200));
    return p;
}

class X264VideoSinkTest : public testing::Test {
  protected:
    TempDir dir;
    X264VideoSink sink;
    std::filesystem::path video = dir / "v.mp4";

    void appendAll(const std::vector<double>& times) {
        int n = 0;
        for (double t : times) {
            ASSERT_TRUE(sink.ready());
            const auto failure = sink.append(pattern(320, 180, n++), t, PictureChange{});
            ASSERT_FALSE(failure) << failure->description;
        }
    }
};

TEST_F(X264VideoSinkTest, TheFileIsCreatedOnlyWhenWritingBegins) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    EXPECT_FALSE(std::filesystem::exists(video));
    EXPECT_FALSE(sink.writing());
    ASSERT_FALSE(sink.begin());
    EXPECT_TRUE(sink.writing());
    EXPECT_TRUE(std::filesystem::exists(video));
}

TEST_F(X264VideoSinkTest, AFolderThatCannotBeWrittenFailsPreparation) {
    const auto failure = sink.prepare(dir / "missing" / "v.mp4", 320, 180);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description, "Cannot write " + (dir / "missing" / "v.mp4").string() +
                                        ": No such file or directory");
}

TEST_F(X264VideoSinkTest, AFinishedFileIsCleanH264AtTheFramesTimes) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    ASSERT_FALSE(sink.begin());
    const std::vector<double> times = {0.0, 0.2, 0.4, 0.6, 5.0, 5.2};  // a still screen in between
    appendAll(times);
    sink.finish();
    EXPECT_FALSE(sink.writing());

    const test::Probe p = test::probe(video);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.warnings, "");
    EXPECT_EQ(p.codec, "h264");
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 180);
    EXPECT_EQ(p.decodedFrames, 6);
    ASSERT_EQ(p.packetTimes.size(), times.size());
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(p.packetTimes[i], times[i], 0.002);
}

TEST_F(X264VideoSinkTest, EveryFrameIsInTheFileAsSoonAsItIsAppended) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    ASSERT_FALSE(sink.begin());
    appendAll({0.0, 0.2, 0.4});
    // What a killed recorder would leave: the file as it is now, never finished.
    const auto copy = dir / "copy.mp4";
    std::filesystem::copy_file(video, copy);
    const test::Probe p = test::probe(copy);
    ASSERT_TRUE(p.ok) << p.warnings;
    EXPECT_EQ(p.decodedFrames, 3);
}

TEST_F(X264VideoSinkTest, KeyFramesAreAtMostFiftyFramesApart) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    ASSERT_FALSE(sink.begin());
    std::vector<double> times;
    for (int i = 0; i < 120; ++i) times.push_back(i * 0.2);
    appendAll(times);
    sink.finish();
    const test::Probe p = test::probe(video);
    ASSERT_EQ(p.keyPackets.size(), 120u);
    int sinceKey = 0;
    for (bool key : p.keyPackets) {
        sinceKey = key ? 0 : sinceKey + 1;
        EXPECT_LT(sinceKey, 50);
    }
    EXPECT_TRUE(p.keyPackets[0]);
}

// Each packet's size and checksum, and the stream's parameter sets, as ffmpeg reads them.
std::string packetsOf(const std::filesystem::path& file) {
    const std::string quoted = "'" + file.string() + "'";
    const auto packets = test::runCommand("ffmpeg -v error -i " + quoted +
                                          " -map 0:v -c copy -f framemd5 - | "
                                          "grep -v '^#' | awk -F, '{print $5, $6}'");
    const auto headers = test::runCommand(
        "ffprobe -v error -show_entries stream=extradata_hash -of csv=p=0 " + quoted);
    return headers.out + packets.out;
}

// x264 is driven as libavcodec drives it for the same options, so the stream is bit for bit the
// one libavcodec's libx264 (here through the ffmpeg program) makes of the same pictures.
TEST_F(X264VideoSinkTest, TheStreamIsTheOneLibavcodecMakesWithTheSameSettings) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    ASSERT_FALSE(sink.begin());
    const auto raw = dir / "pictures.yuv";
    {
        std::ofstream out(raw, std::ios::binary);
        for (int n = 0; n < 60; ++n) {
            const Picture p = pattern(320, 180, n);
            ASSERT_FALSE(sink.append(p, n * 0.2, PictureChange{}));
            out.write(reinterpret_cast<const char*>(p.plane(0)), 320 * 180 * 3 / 2);
        }
    }
    sink.finish();
    const auto peer = dir / "peer.mp4";
    const auto encoded = test::runCommand(
        "ffmpeg -v error -f rawvideo -pix_fmt yuv420p -s 320x180 -framerate 5 -i '" + raw.string() +
        "' -c:v libx264 -preset superfast -tune zerolatency -threads 1 -bf 0 -b:v 900k -g 50 "
        "-color_primaries smpte170m -color_trc smpte170m -colorspace smpte170m -color_range tv "
        "-enc_time_base 1/1000 -vsync passthrough '" +
        peer.string() + "'");
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    const std::string ours = packetsOf(video);
    EXPECT_EQ(std::count(ours.begin(), ours.end(), '\n'), 61) << ours;
    EXPECT_EQ(ours, packetsOf(peer));
}

// The grey of frame `n` of a video at (x, y), in full range (0-255).
int lumaAt(const std::filesystem::path& video, int n, int x, int y) {
    const auto r =
        test::runCommand("ffmpeg -v error -i '" + video.string() + "' -vf 'select=eq(n\\," +
                         std::to_string(n) + "),format=gray,crop=1:1:" + std::to_string(x) + ":" +
                         std::to_string(y) + "' -frames:v 1 -f rawvideo -pix_fmt gray -");
    return r.out.empty() ? -1 : static_cast<unsigned char>(r.out[0]);
}

// Blocks said unchanged are skipped: even a pixel that did change there keeps its old value in
// the video (the recorder never says so of a changed pixel); what is said changed is encoded.
TEST_F(X264VideoSinkTest, BlocksSaidUnchangedAreSkippedAndTheChangedOnesEncoded) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    ASSERT_FALSE(sink.begin());
    Picture first(320, 180);
    first.fill(60, 128, 128);
    ASSERT_FALSE(sink.append(first, 0.0, PictureChange{}));
    Picture second = first;
    const auto paint = [&](const Rect& r, std::uint8_t luma) {
        for (int y = r.y; y < r.y + r.height; ++y)
            std::fill_n(second.plane(0) + y * 320 + r.x, r.width, luma);
    };
    paint({32, 32, 64, 48}, 200);    // said changed
    paint({224, 112, 32, 32}, 200);  // not said
    ASSERT_FALSE(sink.append(second, 0.2, PictureChange{false, {{32, 32, 64, 48}}}));
    sink.finish();
    const auto grey = [](int luma) { return (luma - 16) * 255 / 219; };
    EXPECT_NEAR(lumaAt(video, 1, 60, 50), grey(200), 6) << "encoded";
    EXPECT_NEAR(lumaAt(video, 1, 240, 128), grey(60), 6) << "skipped";
    EXPECT_NEAR(lumaAt(video, 1, 160, 100), grey(60), 6);
}

// The Y' plane of frame `n` of a 640x360 video, as decoded.
std::vector<std::uint8_t> decodedLuma(const std::filesystem::path& video, int n) {
    const auto r =
        test::runCommand("ffmpeg -v error -i '" + video.string() + "' -vf 'select=eq(n\\," +
                         std::to_string(n) + ")' -frames:v 1 -f rawvideo -pix_fmt gray -");
    return {r.out.begin(), r.out.end()};
}

// The mean difference of two Y' planes, in levels.
double meanError(const std::vector<std::uint8_t>& decoded, const Picture& picture) {
    const std::size_t n = static_cast<std::size_t>(picture.width()) * picture.height();
    if (decoded.size() != n) return 255.0;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += std::abs(int{decoded[i]} - int{picture.plane(0)[i]});
    return sum / static_cast<double>(n);
}

// After much motion the last picture is coded coarsely; its repeat (a still screen's, or the
// stop's) codes it again finer, once: a repeat of the refined picture costs little.
TEST_F(X264VideoSinkTest, ARepeatSharpensACoarselyCodedPictureOnce) {
    ASSERT_FALSE(sink.prepare(video, 640, 360));
    ASSERT_FALSE(sink.begin());
    Picture picture(640, 360);
    for (int n = 0; n < 30; ++n) {  // a busy texture in motion: more than 900 kbit/s code finely
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 640; ++x)
                picture.plane(0)[y * 640 + x] = static_cast<std::uint8_t>(
                    16 + ((x * x / 7 + y * 13 + n * 37) ^ (x * y / 5 + n)) % 220);
        ASSERT_FALSE(sink.append(picture, n * 0.2, PictureChange{}));
    }
    ASSERT_FALSE(sink.append(picture, 11.4, PictureChange::none()));
    ASSERT_FALSE(sink.append(picture, 21.4, PictureChange::none()));
    sink.finish();

    const double coded = meanError(decodedLuma(video, 29), picture);
    const double repeated = meanError(decodedLuma(video, 30), picture);
    EXPECT_LT(repeated, coded * 0.8) << "coded " << coded << ", repeated " << repeated;
    EXPECT_LE(meanError(decodedLuma(video, 31), picture), repeated);
    const auto sizes = test::runCommand("ffprobe -v error -show_entries packet=size -of csv=p=0 '" +
                                        video.string() + "'");
    std::istringstream lines(sizes.out);
    std::vector<int> bytes;
    for (int size; lines >> size;) bytes.push_back(size);
    ASSERT_EQ(bytes.size(), 32u);
    EXPECT_LT(bytes[31] * 5, bytes[30]) << bytes[29] << " " << bytes[30] << " " << bytes[31];
}

}  // namespace
}  // namespace hc
