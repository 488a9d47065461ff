#include "restore_token.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace hc {

namespace {

constexpr std::size_t LONGEST_TOKEN = 512;

bool absolute(const char* dir) {
    return dir != nullptr && dir[0] == '/';
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::filesystem::path> restoreTokenPath(const char* xdgStateHome, const char* home) {
    std::filesystem::path state;
    if (absolute(xdgStateHome))
        state = xdgStateHome;
    else if (absolute(home))
        state = std::filesystem::path(home) / ".local" / "state";
    else
        return std::nullopt;
    return state / "hc-screen" / "restore-token";
}

bool plausibleToken(const std::string& token) {
    return !token.empty() && token.size() <= LONGEST_TOKEN &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

std::optional<std::string> FileTokenStore::load() {
    if (!path_) return std::nullopt;
    std::ifstream in(*path_, std::ios::binary);
    if (!in) return std::nullopt;
    std::string token(std::istreambuf_iterator<char>(in), {});
    if (!token.empty() && token.back() == '\n') token.pop_back();
    if (!plausibleToken(token)) return std::nullopt;
    return token;
}

void FileTokenStore::save(const std::string& token) {
    if (!path_ || !plausibleToken(token)) return;
    const std::filesystem::path dir = path_->parent_path();
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) return;
    ::chmod(dir.c_str(), 0700);
    // mkstemp creates the file with mode 0600 beside the target, so rename() replaces the
    // old token in one step.
    std::string temp = (dir / ".restore-token-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return;
    const bool written = writeAll(fd, token + "\n") && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path_->c_str()) != 0) ::unlink(temp.c_str());
}

void FileTokenStore::clear() {
    if (!path_) return;
    std::error_code ignored;
    std::filesystem::remove(*path_, ignored);
}

}  // namespace hc
