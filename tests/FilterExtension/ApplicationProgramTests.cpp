#include "FilterExtension/ApplicationProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

TEST(ApplicationProgram, TheApplicationIsTheProgramOfTheBundleTheExtensionRunsFrom) {
    const fs::path installed = "/usr/lib/tarnwick/Tarnwick.app/Contents/MacOS/Tarnwick";
    const fs::path moved = "/Applications/Tarnwick.app/Contents/MacOS/Tarnwick";
    const std::string extension =
        "Library/SystemExtensions/x.filter.systemextension/Contents/MacOS/x.filter";
    struct Case {
        const char* name;
        fs::path executable;
        std::vector<fs::path> expected;
    };
    for (const auto& row : std::vector<Case>{
             {"a build tree's bundle",
              "/src/build/Tarnwick.app/Contents/" + extension,
              {"/src/build/Tarnwick.app/Contents/MacOS/Tarnwick"}},
             {"the installed bundle",
              "/usr/lib/tarnwick/Tarnwick.app/Contents/" + extension,
              {installed}},
             {"the helper's copy",
              "/usr/local/lib/tarnwick/SystemExtensions/x.filter.systemextension/Contents/MacOS/"
              "x.filter",
              {installed, moved}},
             {"a bundle shape in a folder that is no application",
              "/opt/Tarnwick/Contents/" + extension,
              {installed, moved}},
             {"no executable known", "", {installed, moved}},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ApplicationProgram::candidatesFor(row.executable, installed, moved, "Tarnwick"),
                  row.expected);
    }
}

// Programs in a folder beside this test's own program, whose folders root alone may write when
// the build is root's, as it is where the root tests run.
class ApplicationProgramFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_self = fs::read_symlink("/proc/self/exe");
        if (!ApplicationProgram::rootOwnedProgram(m_self)) {
            GTEST_SKIP() << "the build is not root's: " << m_self;
        }
        m_folder = m_self.parent_path() / ("application-program-" + std::to_string(::getpid()));
        fs::create_directory(m_folder);
        fs::permissions(m_folder, fs::perms(0755));
    }

    void TearDown() override {
        if (!m_folder.empty()) {
            fs::remove_all(m_folder);
        }
    }

    // A copy of this test's program, with `mode` and owner `owner`.
    fs::path copyOfSelf(const std::string& name, mode_t mode, uid_t owner = 0) const {
        const auto copy = m_folder / name;
        fs::copy_file(m_self, copy);
        EXPECT_EQ(::chmod(copy.c_str(), mode), 0);
        EXPECT_EQ(::chown(copy.c_str(), owner, owner), 0);
        return copy;
    }

    fs::path m_self;
    fs::path m_folder;
};

TEST_F(ApplicationProgramFiles, OnlyAProgramThatRootAloneCanChangeCounts) {
    const auto sound = copyOfSelf("sound", 0755);
    const auto groupWritable = copyOfSelf("group-writable", 0775);
    const auto users = copyOfSelf("users", 0755, 4242);
    fs::create_symlink(m_self, m_folder / "link");
    fs::create_directory(m_folder / "open");
    fs::permissions(m_folder / "open", fs::perms(0777));
    fs::copy_file(sound, m_folder / "open" / "program");
    struct Case {
        const char* name;
        fs::path program;
        bool counts;
    };
    for (const auto& row : std::vector<Case>{
             {"root's, writable by root alone", sound, true},
             {"writable by the group", groupWritable, false},
             {"the user's own", users, false},
             {"a symbolic link to a sound program", m_folder / "link", false},
             {"in a folder anyone may write", m_folder / "open" / "program", false},
             {"missing", m_folder / "missing", false},
             {"a folder", m_folder, false},
             {"a relative path", "sound", false},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ApplicationProgram::rootOwnedProgram(row.program).has_value(), row.counts);
    }
}

TEST_F(ApplicationProgramFiles, AProcessProvesItRunsTheProgramByTheFileNotItsContents) {
    EXPECT_TRUE(ApplicationProgram({m_self}).isRunBy(::getpid()));
    EXPECT_TRUE(ApplicationProgram({m_folder / "missing", m_self}).isRunBy(::getpid()))
        << "any of the candidates";
    EXPECT_FALSE(ApplicationProgram({copyOfSelf("copy", 0755)}).isRunBy(::getpid()))
        << "the same bytes in another file";
    EXPECT_FALSE(ApplicationProgram({m_self}).isRunBy(1)) << "another program";
    EXPECT_FALSE(ApplicationProgram({m_self}).isRunBy(0));
    EXPECT_FALSE(ApplicationProgram({}).isRunBy(::getpid()));
}

}  // namespace
}  // namespace tarnwick::testing
