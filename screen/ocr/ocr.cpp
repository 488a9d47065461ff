#include "ocr/ocr.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>

#include "ocr/languages.h"
#include "ocr/stills.h"

namespace hc {

namespace {

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

// The order in which the workers take the stills: the largest file first, ties in name order; a
// file whose size cannot be read comes last. A still's file grows with the detail on it, and
// recognition time with the text, so the long stills go first and the short ones fill in at the
// end, where a worker that has run out would otherwise wait idle for the other's last still.
std::vector<std::size_t> largestFirst(const std::filesystem::path& folder,
                                      const std::vector<std::string>& names) {
    std::vector<std::uintmax_t> sizes(names.size(), 0);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(folder / names[i], error);
        if (!error) sizes[i] = size;
    }
    std::vector<std::size_t> order(names.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    return order;
}

// One worker's share: takes the next still in the order until none is left. The recogniser is
// loaded on the first still that decodes, so a worker that only meets unreadable files loads
// nothing, and a recogniser that fails to load is not retried.
class Worker {
  public:
    Worker(const std::filesystem::path& folder, const std::vector<std::string>& names,
           const std::vector<std::size_t>& order, const ImageDecoder& decoder,
           const TextRecognizer& recognizer, const std::vector<std::string>& languages,
           std::atomic<std::size_t>& next, std::vector<std::optional<StillText>>& results,
           const std::function<void()>& stillDone)
        : folder_(folder),
          names_(names),
          order_(order),
          decoder_(decoder),
          recognizer_(recognizer),
          languages_(languages),
          next_(next),
          results_(results),
          stillDone_(stillDone) {}

    void run() {
        for (std::size_t k = next_++; k < order_.size(); k = next_++) {
            results_[order_[k]] = still(order_[k]);
            stillDone_();
        }
    }

  private:
    std::optional<StillText> still(std::size_t i) {
        std::optional<Image> image;
        try {
            image = decoder_.decode(folder_ / names_[i]);
        } catch (const std::exception&) {
            // Unreadable: left out like any file that does not decode.
        }
        if (!image) return std::nullopt;
        return StillText{secondFromName(names_[i]), names_[i], joinLines(lines(*image))};
    }

    std::vector<std::string> lines(const Image& image) {
        try {
            if (!loaded_) {
                loaded_ = true;
                instance_ = recognizer_.load(languages_);
            }
            if (instance_) return instance_->lines(image);
        } catch (const std::exception&) {
            // Recognition failed: the still keeps its element, with empty text.
        }
        return {};
    }

    const std::filesystem::path& folder_;
    const std::vector<std::string>& names_;
    const std::vector<std::size_t>& order_;
    const ImageDecoder& decoder_;
    const TextRecognizer& recognizer_;
    const std::vector<std::string>& languages_;
    std::atomic<std::size_t>& next_;  // the position in order_ the next still is taken from
    std::vector<std::optional<StillText>>& results_;  // each slot written by one worker only
    const std::function<void()>& stillDone_;
    bool loaded_ = false;
    std::unique_ptr<TextRecognizer::Instance> instance_;
};

}  // namespace

std::vector<StillText> recognizeStills(const std::filesystem::path& folder,
                                       const std::vector<std::string>& names,
                                       const ImageDecoder& decoder,
                                       const TextRecognizer& recognizer, unsigned workers,
                                       const StillsDone& progress) {
    if (names.empty()) return {};
    std::vector<std::string> languages;
    try {
        languages = chooseLanguages(recognizer.supportedLanguages());
    } catch (const std::exception&) {
        languages = chooseLanguages(std::nullopt);
    }

    // Results go to the slot of their still, so the order is the names' order whichever
    // worker finishes first.
    std::vector<std::optional<StillText>> results(names.size());
    const std::vector<std::size_t> order = largestFirst(folder, names);
    std::atomic<std::size_t> next = 0;
    std::atomic<std::size_t> done = 0;
    const std::function<void()> stillDone = [&] {
        const std::size_t count = ++done;
        if (progress) progress(count, names.size());
    };
    if (progress) progress(0, names.size());
    const auto count = std::clamp<std::size_t>(workers, 1, names.size());
    {
        const auto work = [&] {
            Worker(folder, names, order, decoder, recognizer, languages, next, results, stillDone)
                .run();
        };
        std::vector<std::jthread> threads;
        try {
            while (threads.size() + 1 < count) threads.emplace_back(work);
        } catch (const std::system_error&) {
            // No more threads to be had: the ones running share the work.
        }
        work();  // the calling thread is a worker too; the others are joined at the brace
    }

    std::vector<StillText> stills;
    for (std::optional<StillText>& result : results) {
        if (result) stills.push_back(std::move(*result));
    }
    return stills;
}

std::string ocrDocument(const std::vector<StillText>& stills) {
    nlohmann::json array = nlohmann::json::array();
    for (const StillText& still : stills)
        array.push_back({{"t", still.t}, {"file", still.file}, {"text", still.text}});
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ocrFolder(const std::filesystem::path& folder, const ImageDecoder& decoder,
                      const TextRecognizer& recognizer, unsigned workers,
                      const StillsDone& progress) {
    const std::vector<std::string> names = selectStills(folderEntries(folder));
    return ocrDocument(recognizeStills(folder, names, decoder, recognizer, workers, progress));
}

}  // namespace hc
