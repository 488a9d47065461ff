#include "platform/tesseract_recognizer.h"

#include <leptonica/allheaders.h>
#include <omp.h>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>

namespace hc {

namespace {

// Tesseract parallelises inside one image with OpenMP regions that ask for fixed team sizes
// (num_threads clauses), so neither omp_set_num_threads nor OMP_NUM_THREADS bounds them, and
// libgomp reads OMP_THREAD_LIMIT only when it loads. With one worker per core those teams
// oversubscribe the machine and make recognition several times slower. A max-active-levels
// of 0 makes every region the calling thread starts run on that thread alone. The setting
// belongs to the calling thread's data environment, so each entry point sets it again.
void keepOpenMpOnThisThread() {
    omp_set_max_active_levels(0);
}

// Sends Tesseract's messages (its tprintf: warnings about resolution, missing language files)
// and Leptonica's error messages nowhere: this program's standard error is not theirs.
void silenceLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");  // a global parameter, not the instance's
        setMsgSeverity(L_SEVERITY_NONE);
    });
}

std::string joined(const std::vector<std::string>& languages) {
    std::string result;
    for (const std::string& language : languages) {
        if (!result.empty()) result += '+';
        result += language;
    }
    return result;
}

struct PixDestroyer {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDestroyer>;

// The image as Leptonica holds a decoded JPEG: 8 bits per pixel for grey, 32 (red, green, blue
// and an unused byte of 0) for colour, with the file's resolution. Every pixel is written, so the
// pixels start uninitialised; the padding at the end of each grey line is zeroed, as Leptonica
// expects of an image it did not make itself.
PixPtr toPix(const Image& image) {
    PixPtr pix(pixCreateNoInit(image.width, image.height, image.channels == 1 ? 8 : 32));
    if (!pix) return nullptr;
    l_uint32* const data = pixGetData(pix.get());
    const int wordsPerLine = pixGetWpl(pix.get());
    const std::uint8_t* sample = image.pixels.data();
    for (int y = 0; y < image.height; ++y) {
        l_uint32* const line = data + std::ptrdiff_t(y) * wordsPerLine;
        if (image.channels == 1) {
            for (int x = 0; x < image.width; ++x) SET_DATA_BYTE(line, x, *sample++);
        } else {
            // What composeRGBPixel stores, without a library call per pixel.
            for (int x = 0; x < image.width; ++x, sample += 3) {
                line[x] = (l_uint32{sample[0]} << L_RED_SHIFT) |
                          (l_uint32{sample[1]} << L_GREEN_SHIFT) |
                          (l_uint32{sample[2]} << L_BLUE_SHIFT);
            }
        }
    }
    pixSetPadBits(pix.get(), 0);
    pixSetResolution(pix.get(), image.xResolution, image.yResolution);
    return pix;
}

// The page's text as Tesseract writes it (each line followed by a line break, an empty line
// after each paragraph) cut into its lines. The page text is used rather than a walk over the
// lines, because it is what the tesseract command prints, with the same direction marks
// around right-to-left runs.
std::vector<std::string> splitLines(const char* page) {
    std::vector<std::string> lines;
    std::string_view rest = page;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        if (end > 0) lines.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return lines;
}

class TesseractInstance final : public TextRecognizer::Instance {
  public:
    // False when the language data cannot be loaded.
    bool init(const std::vector<std::string>& languages) {
        keepOpenMpOnThisThread();
        if (api_.Init(nullptr, joined(languages).c_str(), tesseract::OEM_LSTM_ONLY) != 0)
            return false;
        api_.SetPageSegMode(tesseract::PSM_AUTO);
        return true;
    }

    std::vector<std::string> lines(const Image& image) override {
        keepOpenMpOnThisThread();
        const PixPtr pix = toPix(image);
        if (!pix) return {};
        api_.SetImage(pix.get());
        std::vector<std::string> result;
        if (api_.Recognize(nullptr) == 0) {
            const std::unique_ptr<char[]> page(api_.GetUTF8Text());
            if (page) result = splitLines(page.get());
        }
        // Each still is a document of its own: drop it, its results and whatever was learnt
        // from it, so that a still reads the same whichever stills this instance saw before.
        // The language data stays loaded.
        api_.Clear();
        api_.ClearAdaptiveClassifier();
        return result;
    }

  private:
    tesseract::TessBaseAPI api_;
};

}  // namespace

TesseractRecognizer::TesseractRecognizer() {
    silenceLibraries();
}

std::optional<std::vector<std::string>> TesseractRecognizer::supportedLanguages() const {
    // Tesseract lists the data folder only once it has been initialised; it keeps the folder
    // even when the language asked for is missing, so the list does not depend on English.
    // tessedit_init_config_only stops the initialisation after the language's configuration,
    // before its networks and dictionaries are read: the query costs milliseconds, not the tens
    // of milliseconds of a full load that every run would otherwise wait for before its first
    // still.
    keepOpenMpOnThisThread();
    tesseract::TessBaseAPI api;
    std::vector<std::string> names = {"tessedit_init_config_only"}, values = {"1"};
    api.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
    std::vector<std::string> languages;
    api.GetAvailableLanguagesAsVector(&languages);
    if (languages.empty()) return std::nullopt;
    return languages;
}

std::unique_ptr<TextRecognizer::Instance> TesseractRecognizer::load(
    const std::vector<std::string>& languages) const {
    auto instance = std::make_unique<TesseractInstance>();
    if (!instance->init(languages)) return nullptr;
    return instance;
}

}  // namespace hc
