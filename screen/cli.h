// hc-screen's command line and its error exit.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace hc {

inline constexpr const char* USAGE =
    "usage: hc-screen record <video.mp4> <frames-dir> | ocr <frames-dir>";

struct UsageError {};
struct OcrCommand {
    std::string folder;
};
struct RecordCommand {
    std::string video;
    std::string frames;
};
using Command = std::variant<UsageError, OcrCommand, RecordCommand>;

// Reads the arguments (element 0 is the program). Command words are exact ("ocr", "record");
// operands after the ones a command takes are ignored.
Command parseCommand(const std::vector<std::string>& args);

// Writes `message` and a newline to standard error in one unbuffered write, then exits with 1.
[[noreturn]] void fail(const std::string& message);

}  // namespace hc
