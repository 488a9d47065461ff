#include "cli.h"

#include <unistd.h>

#include <cstdlib>

namespace hc {

Command parseCommand(const std::vector<std::string>& args) {
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
