#include "Foundation/PinnedDirectory.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(PinnedDirectory, NoComponentIsFollowedWhenItIsALink) {
    TemporaryDirectory folder;
    fs::create_directories(folder / "real/inner");
    fs::create_symlink(folder / "real", folder / "link");

    EXPECT_TRUE(PinnedDirectory::open(folder / "real/inner", {}));
    for (const auto& path : {folder / "link/inner", folder / "link", folder / "real/../real",
                             fs::path("relative/inner")}) {
        SCOPED_TRACE(path.string());
        EXPECT_FALSE(PinnedDirectory::open(path, {}));
    }
    // Only the last component is held to that for a folder that is only read.
    EXPECT_TRUE(PinnedDirectory::openNotFollowingLast(folder / "link/inner"));
    EXPECT_FALSE(PinnedDirectory::openNotFollowingLast(folder / "link"));
}

TEST(PinnedDirectory, ARootOwnedChainAllowsOthersOnlyStickyFolders) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    TemporaryDirectory folder;
    const fs::path base = fs::canonical(folder.path());
    // A temporary folder of the machine's may itself be sticky and writable by all (/tmp).
    if (!PinnedDirectory::open(base, {.rootOwnedChain = true})) {
        GTEST_SKIP() << base << " is not in a root-owned chain";
    }
    struct Row {
        const char* name;
        mode_t mode;
        uid_t owner;
        bool accepted;
    };
    const Row rows[] = {
        {"root's, 0755", 0755, 0, true},
        {"root's, sticky and writable by all", 01777, 0, true},
        {"root's, writable by all", 0777, 0, false},
        {"root's, writable by its group", 0775, 0, false},
        {"another user's", 0755, 4243, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path middle = base / "middle";
        fs::remove_all(middle);
        fs::create_directories(middle / "inner");
        ASSERT_EQ(::chmod(middle.c_str(), row.mode), 0);
        ASSERT_EQ(::chown(middle.c_str(), row.owner, 0), 0);
        EXPECT_EQ(PinnedDirectory::open(middle / "inner", {.rootOwnedChain = true}).ok(),
                  row.accepted);
    }
}

TEST(PinnedDirectory, RemovesATreeButNothingALinkInItPointsTo) {
    TemporaryDirectory folder;
    writeFile(folder / "outside/keep", "x");
    writeFile(folder / "tree/a/b/file", "x");
    fs::create_symlink(folder / "outside", folder / "tree/a/folder-link");
    fs::create_symlink(folder / "outside/keep", folder / "tree/file-link");

    auto parent = PinnedDirectory::open(folder.path(), {});
    ASSERT_TRUE(parent);
    EXPECT_TRUE(parent->removeEntry("tree"));
    EXPECT_FALSE(fs::exists(folder / "tree"));
    EXPECT_TRUE(fs::exists(folder / "outside/keep"));

    // Too deep: refused, the rest kept.
    fs::create_directories(folder / "deep/1/2/3");
    EXPECT_FALSE(parent->removeEntry("deep", 2));
    EXPECT_TRUE(fs::exists(folder / "deep/1"));
    EXPECT_FALSE(parent->removeEntry("../outside"));
    EXPECT_EQ(parent->removeEntry("missing").error().code, FileError::Code::notFound);
}

}  // namespace
}  // namespace tarnwick
