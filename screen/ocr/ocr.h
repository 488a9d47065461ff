// hc-screen ocr: the text on the stills of a folder as one JSON array.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ocr/image.h"
#include "ocr/progress.h"
#include "ocr/text_recognizer.h"

namespace hc {

struct StillText {
    std::int64_t t = 0;  // the second in the still's name
    std::string file;    // the still's name, without folder
    std::string text;    // its lines joined by single line feeds; empty without text

    bool operator==(const StillText&) const = default;
};

// Recognises the text on the stills `names` of `folder` on up to `workers` threads (at least
// one), each loading its own recogniser once, and gives their texts in the order of `names`.
// The workers take the largest files first. A still that does not decode is left out; one whose
// recognition fails gets empty text. The result depends neither on `workers` nor on the order
// the stills are recognised in. Blocks until every still is done; `progress`, when given, hears
// of each.
std::vector<StillText> recognizeStills(const std::filesystem::path& folder,
                                       const std::vector<std::string>& names,
                                       const ImageDecoder& decoder,
                                       const TextRecognizer& recognizer, unsigned workers,
                                       const StillsDone& progress = {});

// The compact UTF-8 JSON array of {"t", "file", "text"} objects, nothing after the closing
// bracket. Bytes that are not UTF-8 (a file name is any bytes) become U+FFFD, so the document
// is always valid.
std::string ocrDocument(const std::vector<StillText>& stills);

// The whole run over `folder`: its stills in name order, recognised, as the JSON document.
// A missing or unreadable folder gives "[]".
std::string ocrFolder(const std::filesystem::path& folder, const ImageDecoder& decoder,
                      const TextRecognizer& recognizer, unsigned workers,
                      const StillsDone& progress = {});

}  // namespace hc
