// The platform's text recognition, as the OCR logic uses it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ocr/image.h"

namespace hc {

// Languages are named by ISO 639-2 codes ("ara", "eng").
class TextRecognizer {
  public:
    // One loaded recogniser with its language data. Not thread-safe: one thread uses it at a
    // time, and it may be used from a thread other than the one that loaded it.
    class Instance {
      public:
        virtual ~Instance() = default;
        // The text lines on `image`, in the order recognition reports them, each without a line
        // break; empty when the image holds no text or recognition failed.
        virtual std::vector<std::string> lines(const Image& image) = 0;
    };

    virtual ~TextRecognizer() = default;
    // The languages whose data is installed; nothing when that cannot be told. Thread-safe.
    virtual std::optional<std::vector<std::string>> supportedLanguages() const = 0;
    // A recogniser for `languages`, the first one taking priority; null when it cannot be
    // loaded. Thread-safe; each call loads its own copy of the language data.
    virtual std::unique_ptr<Instance> load(const std::vector<std::string>& languages) const = 0;
};

}  // namespace hc
