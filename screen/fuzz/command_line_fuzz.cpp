// hc-screen's command line: the input is the argument list, arguments separated by NUL bytes.
// Every list parses to exactly what its words say, without a crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    const hc::Command command = hc::parseCommand(args);
    if (const auto* ocr = std::get_if<hc::OcrCommand>(&command)) {
        if (args.size() < 3 || args[1] != "ocr" || ocr->folder != args[2]) std::abort();
    } else if (const auto* rec = std::get_if<hc::RecordCommand>(&command)) {
        if (args.size() < 4 || args[1] != "record" || rec->video != args[2] ||
            rec->frames != args[3])
            std::abort();
    } else if (args.size() >= 3 &&
               (args[1] == "ocr" || (args[1] == "record" && args.size() >= 4))) {
        std::abort();  // a well-formed command refused
    }
    return 0;
}
