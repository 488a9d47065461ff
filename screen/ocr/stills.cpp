#include "ocr/stills.h"

#include <algorithm>
#include <charconv>
#include <system_error>

namespace hc {

namespace fs = std::filesystem;

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return {};
    std::vector<std::string> names;
    for (const fs::directory_iterator end; it != end;) {
        names.push_back(it->path().filename().string());
        it.increment(error);
        // A listing that breaks off counts as a failed one: no partial answers.
        if (error) return {};
    }
    return names;
}

std::vector<std::string> selectStills(std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& name) {
        return fs::path(name).extension().string() != ".jpg";
    });
    // std::string compares its bytes as unsigned char, which is byte order.
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Bytes in the UTF-8 sequence that starts with `lead`; 1 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::int64_t secondFromName(std::string_view name) {
    const std::string stem = fs::path(name).stem().native();
    std::string_view rest = stem;
    if (rest.empty()) return 0;
    rest.remove_prefix(std::min(sequenceLength(static_cast<unsigned char>(rest[0])), rest.size()));

    // One optional sign, then digits only. from_chars takes a minus sign but no plus sign, so
    // the plus is dropped by hand.
    const bool signed_ = !rest.empty() && (rest[0] == '+' || rest[0] == '-');
    const std::string_view digits = signed_ ? rest.substr(1) : rest;
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) return 0;
    if (rest[0] == '+') rest.remove_prefix(1);

    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end != rest.data() + rest.size()) return 0;
    return value;
}

}  // namespace hc
