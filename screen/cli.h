// hc-screen's command line and its error exit.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace hc {

inline constexpr const char* USAGE =
    "usage: hc-screen record <video.mp4> <frames-dir> | ocr <frames-dir>";

// `hc-screen --help`: the usage and what each mode does, on standard output.
std::string helpText();

struct UsageError {};
struct OcrCommand {
    std::string folder;
};
struct RecordCommand {
    std::string video;
    std::string frames;
};
struct HelpCommand {};
struct VersionCommand {};
using Command = std::variant<UsageError, OcrCommand, RecordCommand, HelpCommand, VersionCommand>;

// Reads the arguments (element 0 is the program). Command words are exact ("ocr", "record");
// operands after the ones a command takes are ignored. "--help" and "--version" as the only
// argument ask for the help and the version.
Command parseCommand(const std::vector<std::string>& args);

// Writes `message` and a newline to standard error in one unbuffered write, then exits with 1.
[[noreturn]] void fail(const std::string& message);

}  // namespace hc
