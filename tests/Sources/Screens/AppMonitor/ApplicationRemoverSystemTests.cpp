// The App Monitor's removal as root while the user who owns the bundle's folders (uid 4242) turns
// a parent folder into a link or swaps it during the password prompt: the remover removes the
// checked bundle or nothing, never an application of root or of another user (uid 4243).

#include "Privileged/ApplicationRemover.h"
#include "Screens/AppMonitor/AppMonitorViewModel.h"
#include "support/LocalUser.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::chownTree;
using testing::TemporaryDirectory;
using testing::writeFile;

constexpr uid_t kUser = 4242;
constexpr uid_t kOtherUser = 4243;

void makeApp(const fs::path& app) {
    writeFile(app / "Contents/Info.plist", "<plist/>");
    writeFile(app / "Contents/MacOS/X", "x");
}

// A shell command as the user.
int asUser(const std::string& command) {
    return testing::runShellAs(kUser, command);
}

class ApplicationRemoverSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        fs::permissions(m_folder.path(), fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
        // The user's application, and beside it root's and another user's of the same name.
        makeApp(home() / "Apps/X.app");
        fs::create_directory_symlink(rootApps(), home() / "Apps/X.app/Contents/escape");
        chownTree(home(), kUser);
        makeApp(rootApps() / "X.app");
        makeApp(otherApps() / "X.app");
        chownTree(otherApps(), kOtherUser);
    }

    fs::path home() const { return m_folder / "home"; }
    fs::path rootApps() const { return m_folder / "system/Apps"; }
    fs::path otherApps() const { return m_folder / "other/Apps"; }

    // Stands in for pkexec: `duringPrompt` runs while the user would type the password, then
    // the remover runs as root.
    CommandRunner prompt(std::function<void()> duringPrompt) {
        return [this, duringPrompt](const ProcessRequest& request) -> ProcessResult {
            ++m_prompts;
            duringPrompt();
            ProcessRequest direct = request;
            direct.arguments.erase(direct.arguments.begin());
            return Process::run(direct);
        };
    }

    bool othersIntact() const {
        return fs::exists(rootApps() / "X.app/Contents/MacOS/X") &&
               fs::exists(otherApps() / "X.app/Contents/MacOS/X");
    }

    TemporaryDirectory m_folder;
    int m_prompts = 0;
};

TEST_F(ApplicationRemoverSystemTest, RemovesTheCheckedBundleButNothingALinkInItNames) {
    EXPECT_TRUE(removeApplicationBundle(home() / "Apps/X.app", prompt([] {}), TEST_REMOVER));
    EXPECT_FALSE(fs::exists(home() / "Apps/X.app"));
    EXPECT_TRUE(fs::exists(home() / "Apps"));
    EXPECT_TRUE(othersIntact());
}

TEST_F(ApplicationRemoverSystemTest, ALinkedOrSwappedParentRemovesNothing) {
    const auto apps = home() / "Apps";
    const auto moved = home() / "Moved";
    struct Row {
        std::string name;
        std::string beforeCheck;  // the user's shell command before the application checks
        std::string duringPrompt;
        bool asks;  // whether the password prompt is reached at all
    };
    const std::vector<Row> rows = {
        {"the parent is a link to root's applications",
         "mv " + apps.string() + " " + moved.string() + " && ln -s " + rootApps().string() + " " +
             apps.string(),
         "", false},
        {"the parent becomes a link to root's applications during the prompt", "",
         "mv " + apps.string() + " " + moved.string() + " && ln -s " + rootApps().string() + " " +
             apps.string(),
         true},
        {"the parent becomes a link to another user's applications during the prompt", "",
         "mv " + apps.string() + " " + moved.string() + " && ln -s " + otherApps().string() + " " +
             apps.string(),
         true},
        {"the parent is swapped for a real folder during the prompt", "",
         "mv " + apps.string() + " " + moved.string() + " && mkdir -p " + apps.string() +
             "/X.app/Contents && echo keep > " + apps.string() + "/X.app/Contents/keep",
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.beforeCheck.empty()) {
            ASSERT_EQ(asUser(row.beforeCheck), 0);
        }
        m_prompts = 0;
        const auto duringPrompt = row.duringPrompt;
        EXPECT_FALSE(removeApplicationBundle(apps / "X.app", prompt([&] {
                                                 if (!duringPrompt.empty()) {
                                                     EXPECT_EQ(asUser(duringPrompt), 0);
                                                 }
                                             }),
                                             TEST_REMOVER));
        EXPECT_EQ(m_prompts, row.asks ? 1 : 0);
        EXPECT_TRUE(othersIntact());
        EXPECT_TRUE(fs::exists(moved / "X.app/Contents/MacOS/X"));
        if (row.name.find("real folder") != std::string::npos) {
            EXPECT_TRUE(fs::exists(apps / "X.app/Contents/keep"));
        }
        // Back as it was for the next row.
        fs::remove_all(apps);
        fs::rename(moved, apps);
    }
}

// A new root of bind mounts of the machine's top folders with the test's folder as the system's
// Applications folder, where the remover runs as pkexec would run it for `PKEXEC_UID`.
// clang-format off
constexpr const char* kInNewRoot = R"sh(set -e
mount -t tmpfs -o mode=0755 tmpfs /mnt
for entry in /*; do
    name=${entry#/}
    if [ "$name" = mnt ]; then continue; fi
    if [ -L "$entry" ]; then ln -s "$(readlink "$entry")" "/mnt/$name"
    elif [ -d "$entry" ]; then mkdir "/mnt/$name" && mount --rbind "$entry" "/mnt/$name"
    fi
done
mkdir -m 0755 /mnt/Applications
mount --bind "$1" /mnt/Applications
shift
exec chroot /mnt "$@")sh";
// clang-format on

TEST_F(ApplicationRemoverSystemTest, RemovesOnlyTheRequestersOwnOrTheSystemFoldersApplications) {
    const auto applications = m_folder / "Applications";
    makeApp(applications / "Y.app");
    chownTree(applications / "Y.app", kOtherUser);
    struct Row {
        std::string name;
        fs::path outside;  // as the test sees it
        fs::path inside;   // as the remover sees it
        bool removed;
        std::string says;
    };
    const std::vector<Row> rows = {
        {"another user's application", otherApps() / "X.app", otherApps() / "X.app", false,
         "belongs to another user"},
        {"root's application outside the system's folder", rootApps() / "X.app",
         rootApps() / "X.app", false, "belongs to another user"},
        {"the requester's own application", home() / "Apps/X.app", home() / "Apps/X.app", true,
         "belonged to the user who asked"},
        {"another user's application in the system's folder", applications / "Y.app",
         "/Applications/Y.app", true, "system's applications folder"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        struct stat info {};
        ASSERT_EQ(::stat(row.outside.c_str(), &info), 0);
        ProcessRequest request;
        request.arguments = {"/usr/bin/unshare",
                             "--mount",
                             "--propagation",
                             "private",
                             "/bin/sh",
                             "-c",
                             kInNewRoot,
                             "sh",
                             applications.string(),
                             "/usr/bin/env",
                             "PKEXEC_UID=" + std::to_string(kUser),
                             TEST_REMOVER,
                             "remove",
                             row.inside.string(),
                             std::to_string(info.st_dev),
                             std::to_string(info.st_ino)};
        const auto outcome = Process::run(request);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->exitStatus, row.removed ? 0 : 1) << outcome->standardError;
        EXPECT_NE((outcome->standardOutput + outcome->standardError).find(row.says),
                  std::string::npos)
            << outcome->standardOutput << outcome->standardError;
        EXPECT_EQ(fs::exists(row.outside), !row.removed);
    }
}

TEST_F(ApplicationRemoverSystemTest, TheRemoverRefusesBadArguments) {
    struct stat info {};
    ASSERT_EQ(::stat((rootApps() / "X.app").c_str(), &info), 0);
    const auto device = std::to_string(info.st_dev);
    const auto inode = std::to_string(info.st_ino);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"remove", (rootApps() / "X.app").string(), device, "1"},
             {"remove", rootApps().string(), device, inode},
             {"remove", (rootApps() / "X.app/").string(), device, inode},
             {"remove", (rootApps() / "../Apps/X.app").string(), device, inode},
             {"remove", "/", device, inode},
             {"remove", (rootApps() / "X.app").string(), device + "x", inode},
             {"remove", (rootApps() / "X.app").string()}}) {
        EXPECT_NE(ApplicationRemover::run(arguments, 0), 0);
    }
    EXPECT_TRUE(othersIntact());
}

}  // namespace
}  // namespace tarnwick
