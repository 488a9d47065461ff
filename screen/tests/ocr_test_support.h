// For the OCR tests: fakes of the image decoder and the text recogniser, and a way to write
// stills.
//
// A fake still is a file whose content is "image:" followed by its lines separated by '|'
// ("image:A|B" holds the lines A and B; "image:" holds none). Any other content does not
// decode. A still whose only line is "fail" makes recognition throw.
#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ocr/image.h"
#include "ocr/text_recognizer.h"
#include "temp_dir.h"

namespace hc::test {

// Writes `content` to the file at `path`.
inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class FakeDecoder final : public ImageDecoder {
  public:
    std::optional<Image> decode(const std::filesystem::path& path) const override {
        std::ifstream in(path, std::ios::binary);
        const std::string content{std::istreambuf_iterator<char>(in), {}};
        static const std::string prefix = "image:";
        if (content.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
        Image image;
        image.width = static_cast<int>(content.size() - prefix.size());
        image.height = 1;
        image.channels = 1;
        image.pixels.assign(content.begin() + prefix.size(), content.end());
        return image;
    }
};

// Records every load and checks that no instance is used by two threads at once. Each
// recognition sleeps a little, by an amount that varies from still to still, so that
// workers finish out of order.
class FakeRecognizer final : public TextRecognizer {
  public:
    std::optional<std::vector<std::string>> supported = std::vector<std::string>{"ara", "eng"};
    bool loadable = true;

    std::optional<std::vector<std::string>> supportedLanguages() const override {
        ++queries;
        return supported;
    }

    std::unique_ptr<Instance> load(const std::vector<std::string>& languages) const override {
        const std::lock_guard lock(mutex);
        loads.push_back(languages);
        if (!loadable) return nullptr;
        return std::make_unique<FakeInstance>(*this);
    }

    mutable std::atomic<int> queries = 0;
    mutable std::atomic<int> overlappingUses = 0;
    mutable std::mutex mutex;
    mutable std::vector<std::vector<std::string>> loads;  // guarded by mutex
    mutable std::vector<std::string> recognised;  // each still's content, as recognition began

  private:
    class FakeInstance final : public Instance {
      public:
        explicit FakeInstance(const FakeRecognizer& owner) : owner_(owner) {}

        std::vector<std::string> lines(const Image& image) override {
            if (busy_.exchange(true)) ++owner_.overlappingUses;
            const std::string content(image.pixels.begin(), image.pixels.end());
            {
                const std::lock_guard lock(owner_.mutex);
                owner_.recognised.push_back(content);
            }
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::hash<std::string>{}(content) % 3000));
            busy_ = false;
            if (content == "fail") throw std::runtime_error("recognition failed");
            std::vector<std::string> result;
            std::stringstream stream(content);
            for (std::string line; std::getline(stream, line, '|');) result.push_back(line);
            return result;
        }

      private:
        const FakeRecognizer& owner_;
        std::atomic<bool> busy_ = false;
    };
};

}  // namespace hc::test
