// The FFmpeg video sink writing real files, read back with ffprobe.
#include <gtest/gtest.h>

#include "child_process.h"
#include "media_probe.h"
#include "platform/ffmpeg_video_sink.h"
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

class FfmpegVideoSinkTest : public testing::Test {
  protected:
    TempDir dir;
    FfmpegVideoSink sink;
    std::filesystem::path video = dir / "v.mp4";

    void appendAll(const std::vector<double>& times) {
        int n = 0;
        for (double t : times) {
            ASSERT_TRUE(sink.ready());
            const auto failure = sink.append(pattern(320, 180, n++), t);
            ASSERT_FALSE(failure) << failure->description;
        }
    }
};

TEST_F(FfmpegVideoSinkTest, TheFileIsCreatedOnlyWhenWritingBegins) {
    ASSERT_FALSE(sink.prepare(video, 320, 180));
    EXPECT_FALSE(std::filesystem::exists(video));
    EXPECT_FALSE(sink.writing());
    ASSERT_FALSE(sink.begin());
    EXPECT_TRUE(sink.writing());
    EXPECT_TRUE(std::filesystem::exists(video));
}

TEST_F(FfmpegVideoSinkTest, AFolderThatCannotBeWrittenFailsPreparation) {
    const auto failure = sink.prepare(dir / "missing" / "v.mp4", 320, 180);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->description, "Cannot write " + (dir / "missing" / "v.mp4").string() +
                                        ": No such file or directory");
}

TEST_F(FfmpegVideoSinkTest, AFinishedFileIsCleanH264AtTheFramesTimes) {
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

TEST_F(FfmpegVideoSinkTest, EveryFrameIsInTheFileAsSoonAsItIsAppended) {
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

TEST_F(FfmpegVideoSinkTest, KeyFramesAreAtMostFiftyFramesApart) {
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

}  // namespace
}  // namespace hc
