#include "Privileged/PrivilegedLock.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::writeFile;

constexpr auto kShort = std::chrono::milliseconds(300);

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_mode;
}

TEST(PrivilegedLockTest, OneHolderAtATimeUntilItsDescriptorCloses) {
    TemporaryDirectory folder;
    auto pinned = PinnedDirectory::open(folder.path(), {});
    ASSERT_TRUE(pinned);
    auto first = PrivilegedLock::acquire(*pinned, ".lock", kShort);
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(modeOf(folder / ".lock") & 07777, 0600u);

    const auto second = PrivilegedLock::acquire(*pinned, ".lock", kShort);
    ASSERT_FALSE(second);
    EXPECT_NE(second.error().find("does not end"), std::string::npos) << second.error();

    first->reset();
    EXPECT_TRUE(PrivilegedLock::acquire(*pinned, ".lock", kShort));
}

// A lock that another user could open is one they could hold for ever: whatever is found under
// the name that is not a plain 0600 file of ours is replaced, and what it pointed to is left alone.
TEST(PrivilegedLockTest, AnythingButOurOwnPlainFileIsReplacedNotUsed) {
    struct Row {
        std::string name;
        std::function<void(const fs::path& lock, const fs::path& outside)> prepare;
        bool needsRoot = false;
    };
    const std::vector<Row> rows = {
        {"readable by all",
         [](const fs::path& lock, const fs::path&) {
             writeFile(lock, "");
             fs::permissions(lock, fs::perms(0644));
         }},
        {"a link to a file elsewhere",
         [](const fs::path& lock, const fs::path& outside) { fs::create_symlink(outside, lock); }},
        {"a FIFO", [](const fs::path& lock, const fs::path&) { ::mkfifo(lock.c_str(), 0600); }},
        {"a hard link to a file elsewhere",
         [](const fs::path& lock, const fs::path& outside) {
             fs::create_hard_link(outside, lock);
         }},
        {"another user's",
         [](const fs::path& lock, const fs::path&) {
             writeFile(lock, "");
             fs::permissions(lock, fs::perms(0600));
             EXPECT_EQ(::chown(lock.c_str(), 4243, 4243), 0);
         },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && ::geteuid() != 0) {
            continue;
        }
        TemporaryDirectory folder;
        const auto outside = folder / "outside";
        writeFile(outside, "keep");
        fs::permissions(outside, fs::perms(0600));
        fs::create_directory(folder / "locks");
        row.prepare(folder / "locks/.lock", outside);
        auto pinned = PinnedDirectory::open(folder / "locks", {});
        ASSERT_TRUE(pinned);
        const auto lock = PrivilegedLock::acquire(*pinned, ".lock", kShort);
        ASSERT_TRUE(lock) << lock.error();
        struct stat held {};
        ASSERT_EQ(::fstat(lock->get(), &held), 0);
        EXPECT_TRUE(S_ISREG(held.st_mode));
        EXPECT_EQ(held.st_mode & 07777, 0600u);
        EXPECT_EQ(held.st_uid, ::geteuid());
        EXPECT_EQ(held.st_nlink, 1u);
        EXPECT_EQ(testing::readFile(outside), "keep");
        EXPECT_EQ(modeOf(outside) & 07777, 0600u);
    }
}

}  // namespace
}  // namespace tarnwick
