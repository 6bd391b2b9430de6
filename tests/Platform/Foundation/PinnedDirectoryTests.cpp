#include "Foundation/PinnedDirectory.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

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
