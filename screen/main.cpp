// hc-screen: records the main display (record) or reads the text on stills (ocr).
#include <unistd.h>

#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace {

// Writes `text` to standard output; the exit status says whether all of it went out.
int printOut(const std::string& text) {
    return ::write(STDOUT_FILENO, text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const hc::Command command = hc::parseCommand(args);
    if (const auto* ocr = std::get_if<hc::OcrCommand>(&command)) hc::runOcr(ocr->folder);
    if (const auto* rec = std::get_if<hc::RecordCommand>(&command))
        hc::runRecord(rec->video, rec->frames);
    if (std::holds_alternative<hc::HelpCommand>(command)) return printOut(hc::helpText());
    if (std::holds_alternative<hc::VersionCommand>(command))
        return printOut("hc-screen " QV_VERSION "\n");
    hc::fail(hc::USAGE);
}
