#include "Privileged/PrivilegedPrograms.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;
using testing::writeFile;

// The installed copy is what the polkit action names, but only one of root's that nobody else can
// change may stand for it; anything else falls back to the bundle's own.
TEST(PrivilegedProgramsTest, TheInstalledCopyOnlyWhenItIsRootsPlainFile) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    struct Row {
        std::string name;
        std::function<void(const fs::path& installed)> prepare;
        bool installedChosen;
    };
    const std::vector<Row> rows = {
        {"root's file", [](const fs::path& file) { writeFile(file, "x"); }, true},
        {"missing", [](const fs::path&) {}, false},
        {"a user's file",
         [](const fs::path& file) {
             writeFile(file, "x");
             EXPECT_EQ(::chown(file.c_str(), 4242, 4242), 0);
         },
         false},
        {"writable by others",
         [](const fs::path& file) {
             writeFile(file, "x");
             fs::permissions(file, fs::perms(0777));
         },
         false},
        {"a link to root's file",
         [](const fs::path& file) {
             writeFile(file.parent_path() / "real", "x");
             fs::create_symlink(file.parent_path() / "real", file);
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryDirectory folder;
        fs::create_directories(folder / "installed");
        row.prepare(folder / "installed/helper");
        EXPECT_EQ(PrivilegedPrograms::locate("helper", folder / "installed", folder / "bundle"),
                  row.installedChosen ? folder / "installed/helper" : folder / "bundle/helper");
    }
}

}  // namespace
}  // namespace tarnwick
