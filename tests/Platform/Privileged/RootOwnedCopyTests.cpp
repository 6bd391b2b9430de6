#include "Privileged/RootOwnedCopy.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::writeFile;

std::string read(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Beyond any limit nothing is put in place and the older copy stays whole.
TEST(RootOwnedCopy, ATreeBeyondALimitIsRefusedAndTheOlderCopyStays) {
    TemporaryDirectory folder;
    writeFile(folder / "source/a/b/c/file", "12345");
    writeFile(folder / "source/other", "678");
    writeFile(folder / "place/X.app/mark", "old");
    struct Row {
        const char* name;
        RootOwnedCopy::Limits limits;
    };
    for (const Row& row :
         {Row{"too deep", {.maximumDepth = 2}}, Row{"too many entries", {.maximumEntries = 4}},
          Row{"too many bytes", {.maximumBytes = 7}}}) {
        SCOPED_TRACE(row.name);
        auto place = PinnedDirectory::open(folder / "place", {});
        auto source = PinnedDirectory::open(folder / "source", {});
        ASSERT_TRUE(place && source);
        RootOwnedCopy::Options options;
        options.limits = row.limits;
        EXPECT_FALSE(RootOwnedCopy::install(*place, *source, "X.app", options));
        EXPECT_EQ(read(folder / "place/X.app/mark"), "old");
        EXPECT_FALSE(fs::exists(folder / "place/X.app.new"));
    }
}

TEST(RootOwnedCopy, ReplacesTheOlderCopyWithFilesOfFixedModes) {
    TemporaryDirectory folder;
    writeFile(folder / "source/Contents/MacOS/program", "#!/bin/sh\n");
    fs::permissions(folder / "source/Contents/MacOS/program",
                    fs::perms::owner_all | fs::perms::set_uid);
    writeFile(folder / "source/Contents/data", "data");
    // Writable by all, not a program.
    fs::permissions(folder / "source/Contents/data",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_read | fs::perms::others_write);
    writeFile(folder / "place/X.app/mark", "old");
    // A leftover of a run that was killed.
    writeFile(folder / "place/X.app.new/stale", "");
    auto place = PinnedDirectory::open(folder / "place", {});
    auto source = PinnedDirectory::open(folder / "source", {});
    ASSERT_TRUE(place && source);
    ASSERT_TRUE(RootOwnedCopy::install(*place, *source, "X.app", {}));
    EXPECT_FALSE(fs::exists(folder / "place/X.app/mark"));
    EXPECT_FALSE(fs::exists(folder / "place/X.app.new"));
    struct stat info {};
    ASSERT_EQ(::stat((folder / "place/X.app/Contents/MacOS/program").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    ASSERT_EQ(::stat((folder / "place/X.app/Contents/data").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_EQ(read(folder / "place/X.app/Contents/data"), "data");
    // A copy that fails its check is not put in place.
    RootOwnedCopy::Options refusing;
    refusing.verify = [](const PinnedDirectory&) -> Result<void, FileError> {
        return Failure{FileError{FileError::Code::failed, "no"}};
    };
    EXPECT_FALSE(RootOwnedCopy::install(*place, *source, "Y.app", refusing));
    EXPECT_FALSE(fs::exists(folder / "place/Y.app"));
    EXPECT_FALSE(fs::exists(folder / "place/Y.app.new"));
}

}  // namespace
}  // namespace tarnwick
