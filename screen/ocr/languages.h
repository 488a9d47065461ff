// Which recognition languages a run uses.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hc {

// Arabic (as written in Saudi Arabia) first, then US English.
inline const std::vector<std::string> PREFERRED_LANGUAGES = {"ara", "eng"};
inline const std::string FALLBACK_LANGUAGE = "eng";

// The preferred languages that are supported, in preference order; English alone when none is,
// or when the recogniser cannot tell what it supports.
std::vector<std::string> chooseLanguages(const std::optional<std::vector<std::string>>& supported);

}  // namespace hc
