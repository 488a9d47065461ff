#include "cli.h"

#include <unistd.h>

#include <cstdlib>

namespace hc {

std::string helpText() {
    return std::string(USAGE) +
           "\n"
           "\n"
           "  record  record the main display into the H.264/MP4 file <video.mp4> and save a\n"
           "          JPEG still into <frames-dir> whenever the screen changes, until SIGINT\n"
           "          or SIGTERM; prints \"recording\" once capture runs\n"
           "  ocr     print the text on the stills in <frames-dir> as one JSON array of\n"
           "          {\"t\", \"file\", \"text\"} objects\n"
           "\n"
           "  --help     show this help and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "See hc-screen(1).\n";
}

Command parseCommand(const std::vector<std::string>& args) {
    if (args.size() == 2 && args[1] == "--help") return HelpCommand{};
    if (args.size() == 2 && args[1] == "--version") return VersionCommand{};
    if (args.size() < 3) return UsageError{};
    if (args[1] == "ocr") return OcrCommand{args[2]};
    if (args.size() < 4 || args[1] != "record") return UsageError{};
    return RecordCommand{args[2], args[3]};
}

void fail(const std::string& message) {
    const std::string line = message + "\n";
    // One write, so that the line is never interleaved with another writer's output.
    [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
    std::_Exit(1);
}

}  // namespace hc
