// Where the ScreenCast portal's restore token is kept between recordings: with it the portal
// starts the next recording of the same screen without asking the user again.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace hc {

// Keeps one token. Used from one thread at a time.
class TokenStore {
  public:
    virtual ~TokenStore() = default;
    virtual std::optional<std::string> load() = 0;
    virtual void save(const std::string& token) = 0;
    virtual void clear() = 0;
};

// The token file: $XDG_STATE_HOME/hc-screen/restore-token, with ~/.local/state in place of an
// unset, empty or relative XDG_STATE_HOME; nothing when neither gives an absolute folder.
// Takes the variables' values (null when unset).
std::optional<std::filesystem::path> restoreTokenPath(const char* xdgStateHome, const char* home);

// Whether `token` can be stored and sent back as it stands: 1 to 512 printable ASCII
// characters.
bool plausibleToken(const std::string& token);

// The token in a file only this user can read (mode 0600, folder 0700), replaced atomically so
// that a crash never leaves half a token. Failures to read or write are not reported: without
// a stored token the portal just asks the user again.
class FileTokenStore final : public TokenStore {
  public:
    explicit FileTokenStore(std::optional<std::filesystem::path> path) : path_(std::move(path)) {}
    std::optional<std::string> load() override;
    void save(const std::string& token) override;
    void clear() override;

  private:
    std::optional<std::filesystem::path> path_;
};

}  // namespace hc
