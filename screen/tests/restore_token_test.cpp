// Where the portal's restore token is kept, and how.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "restore_token.h"
#include "temp_dir.h"

namespace hc {
namespace {

using test::TempDir;

TEST(RestoreTokenPath, FollowsXdgStateHomeElseHome) {
    struct Case {
        const char* state;
        const char* home;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"/s", "/h", "/s/hc-screen/restore-token"},
        {nullptr, "/h", "/h/.local/state/hc-screen/restore-token"},
        {"", "/h", "/h/.local/state/hc-screen/restore-token"},
        {"relative", "/h", "/h/.local/state/hc-screen/restore-token"},
        {nullptr, nullptr, std::nullopt},
        {nullptr, "relative", std::nullopt},
    };
    for (const Case& c : cases) {
        const auto path = restoreTokenPath(c.state, c.home);
        EXPECT_EQ(path ? std::optional<std::string>(path->string()) : std::nullopt, c.expected)
            << (c.state ? c.state : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
}

TEST(PlausibleToken, TakesPrintableTokensOfReasonableLength) {
    EXPECT_TRUE(plausibleToken("be2d7ae0-99d0-4c26-b443-af94c76e0607"));
    EXPECT_TRUE(plausibleToken(std::string(512, 'a')));
    EXPECT_FALSE(plausibleToken(""));
    EXPECT_FALSE(plausibleToken(std::string(513, 'a')));
    EXPECT_FALSE(plausibleToken("two\nlines"));
    EXPECT_FALSE(plausibleToken("with space"));
    EXPECT_FALSE(plausibleToken(std::string("nul\0x", 5)));
}

mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
}

TEST(FileTokenStore, KeepsTheTokenPrivateAndReplacesItWhole) {
    TempDir dir;
    const auto path = dir / "state" / "hc-screen" / "restore-token";
    FileTokenStore store(path);
    EXPECT_EQ(store.load(), std::nullopt);
    store.save("first");
    EXPECT_EQ(store.load(), "first");
    store.save("second");
    EXPECT_EQ(store.load(), "second");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(path.parent_path()), 0700u);
    // Nothing but the token is left in the folder (no temporary file).
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(path.parent_path()))
        ++entries;
    EXPECT_EQ(entries, 1);
    store.clear();
    EXPECT_EQ(store.load(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(FileTokenStore, IgnoresWhatIsNoToken) {
    TempDir dir;
    const auto path = dir / "restore-token";
    FileTokenStore store(path);
    std::ofstream(path) << "two words\n";
    EXPECT_EQ(store.load(), std::nullopt);
    store.save("bad token");
    EXPECT_EQ(std::ifstream(path).get(), 't') << "an implausible token replaces nothing";
}

TEST(FileTokenStore, WithoutAPlaceStoresNothing) {
    FileTokenStore store(std::nullopt);
    store.save("t");
    EXPECT_EQ(store.load(), std::nullopt);
}

}  // namespace
}  // namespace hc
