// hc-screen: records the main display (record) or reads the text on stills (ocr).
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const hc::Command command = hc::parseCommand(args);
    if (const auto* ocr = std::get_if<hc::OcrCommand>(&command)) hc::runOcr(ocr->folder);
    if (const auto* rec = std::get_if<hc::RecordCommand>(&command))
        hc::runRecord(rec->video, rec->frames);
    hc::fail(hc::USAGE);
}
