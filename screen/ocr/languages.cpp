#include "ocr/languages.h"

#include <algorithm>

namespace hc {

std::vector<std::string> chooseLanguages(const std::optional<std::vector<std::string>>& supported) {
    const std::vector<std::string> available =
        supported.value_or(std::vector<std::string>{FALLBACK_LANGUAGE});
    std::vector<std::string> chosen;
    for (const std::string& language : PREFERRED_LANGUAGES) {
        if (std::find(available.begin(), available.end(), language) != available.end())
            chosen.push_back(language);
    }
    if (chosen.empty()) chosen.push_back(FALLBACK_LANGUAGE);
    return chosen;
}

}  // namespace hc
