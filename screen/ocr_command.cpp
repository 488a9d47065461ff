// Text recognition over stills: not built yet.
#include "cli.h"
#include "commands.h"

namespace hc {

void runOcr(const std::string&) {
    fail("ocr: text recognition is not built yet");
}

}  // namespace hc
