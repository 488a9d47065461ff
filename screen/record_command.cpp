// Screen recording: not built yet.
#include "cli.h"
#include "commands.h"

namespace hc {

void runRecord(const std::string&, const std::string&) {
    fail("screen: recording is not built yet");
}

}  // namespace hc
