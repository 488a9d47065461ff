#include "media_probe.h"

#include <sstream>

#include "child_process.h"

namespace hc::test {

namespace {

std::string value(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return {};
    const std::size_t from = at + key.size() + 2;
    return text.substr(from, text.find('\n', from) - from);
}

}  // namespace

Probe probe(const std::filesystem::path& file) {
    Probe p;
    const std::string quoted = "'" + file.string() + "'";
    const CommandResult stream = runCommand(
        "ffprobe -v warning -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames " +
        quoted);
    p.warnings = stream.err;
    const std::string text = "\n" + stream.out;
    p.codec = value(text, "codec_name");
    p.ok = stream.status == 0 && !p.codec.empty();
    p.width = std::atoi(value(text, "width").c_str());
    p.height = std::atoi(value(text, "height").c_str());
    p.decodedFrames = std::atoi(value(text, "nb_read_frames").c_str());
    const CommandResult packets = runCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 " +
        quoted);
    std::istringstream lines(packets.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        p.packetTimes.push_back(std::atof(line.substr(0, comma).c_str()));
        p.keyPackets.push_back(line.find('K', comma) != std::string::npos);
    }
    return p;
}

}  // namespace hc::test
