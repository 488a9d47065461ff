// The two modes of hc-screen. Each ends the process itself and never returns.
#pragma once

#include <string>

namespace hc {

// Prints the text on the stills in `folder` as one JSON array, then exits with 0.
[[noreturn]] void runOcr(const std::string& folder);

// Records the main display into `video` and stills into `frames` until SIGINT or SIGTERM;
// exits with 0 after a stop, 1 when the recording cannot start.
[[noreturn]] void runRecord(const std::string& video, const std::string& frames);

}  // namespace hc
