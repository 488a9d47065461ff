// Text recognition with Tesseract's LSTM engine and the language data installed on the system.
#pragma once

#include "ocr/text_recognizer.h"

namespace hc {

// Recognises with the dictionary on and automatic page layout, the way the tesseract command
// does by default, so both read the same text from the same image. Tesseract and Leptonica
// write no diagnostics while an instance of this class exists (their switches are
// process-wide). Every call is thread-safe; instances are used as TextRecognizer says.
class TesseractRecognizer final : public TextRecognizer {
  public:
    TesseractRecognizer();
    std::optional<std::vector<std::string>> supportedLanguages() const override;
    std::unique_ptr<Instance> load(const std::vector<std::string>& languages) const override;
};

}  // namespace hc
