// What ffprobe reads in a media file, for tests of the video and the stills.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace hc::test {

struct Probe {
    bool ok = false;       // ffprobe read the file and found a stream
    std::string warnings;  // anything ffprobe said at level "warning" or worse
    std::string codec;
    int width = 0;
    int height = 0;
    std::vector<double> packetTimes;  // presentation times of the packets, in file order
    std::vector<bool> keyPackets;
    int decodedFrames = 0;
};

Probe probe(const std::filesystem::path& file);

}  // namespace hc::test
