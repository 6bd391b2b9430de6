#include "Foundation/StandardDirectories.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <map>

namespace tarnwick {
namespace {

StandardDirectories withEnvironment(std::map<std::string, std::string> variables) {
    return StandardDirectories([variables](const std::string& name) -> std::optional<std::string> {
        auto found = variables.find(name);
        if (found == variables.end()) {
            return std::nullopt;
        }
        return found->second;
    });
}

TEST(StandardDirectories, FollowTheXdgVariablesWithHomeFallbacks) {
    const auto plain = withEnvironment({{"HOME", "/home/ann"}});
    EXPECT_EQ(plain.applicationSupportDirectories(),
              std::vector<std::filesystem::path>{"/home/ann/.local/share"});
    EXPECT_EQ(plain.cachesDirectories(), std::vector<std::filesystem::path>{"/home/ann/.cache"});
    EXPECT_EQ(plain.configDirectory(), "/home/ann/.config");

    const auto custom = withEnvironment({{"HOME", "/home/ann"},
                                         {"XDG_DATA_HOME", "/data"},
                                         {"XDG_CACHE_HOME", "relative/ignored"}});
    EXPECT_EQ(custom.applicationSupportDirectories(), std::vector<std::filesystem::path>{"/data"});
    EXPECT_EQ(custom.cachesDirectories(), std::vector<std::filesystem::path>{"/home/ann/.cache"});
}

TEST(StandardDirectories, WithoutAHomeThereAreNoUserFolders) {
    const auto none = withEnvironment({});
    EXPECT_TRUE(none.applicationSupportDirectories().empty());
    EXPECT_TRUE(none.cachesDirectories().empty());
    EXPECT_EQ(none.downloadsDirectory(), std::nullopt);
}

TEST(StandardDirectories, DownloadsComeFromUserDirsWhenSet) {
    testing::TemporaryDirectory home;
    const auto directories = withEnvironment({{"HOME", home.path().string()}});
    EXPECT_EQ(directories.downloadsDirectory(), home / "Downloads");
    testing::writeFile(home / ".config" / "user-dirs.dirs",
                       "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n");
    EXPECT_EQ(directories.downloadsDirectory(), home / "Telechargements");
}

}  // namespace
}  // namespace tarnwick
