// Which files of a folder are stills, their order, and the second each one was taken at.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace hc {

// The names of the folder's entries (hidden ones included, not recursive); empty when the
// folder is missing, not a folder, or cannot be read.
std::vector<std::string> folderEntries(const std::filesystem::path& folder);

// The names whose extension is exactly "jpg" (case matters), sorted by byte order.
std::vector<std::string> selectStills(std::vector<std::string> names);

// The integer between the name's first character and its extension: t00012.jpg gives 12,
// x-7.jpg gives -7, t+5.jpg gives 5. 0 when that part is empty, is not a plain decimal integer
// with an optional sign, or does not fit 64 bits. The first character is a whole UTF-8
// sequence.
std::int64_t secondFromName(std::string_view name);

}  // namespace hc
