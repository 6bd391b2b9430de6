// Moving the application into the Applications folder as root while the user who owns the bundle
// (uid 4242) turns its folder into a link, swaps it, or fills the bundle with links, FIFOs or
// another user's files during the password prompt: the mover copies the checked bundle as root's
// files or nothing, and never replaces the copy already there with anything else. Each case runs
// the real mover in a private mount namespace whose "/" is the machine's folders plus an empty
// Applications folder, so the machine's is never touched.

#include "FilterExtension/NetworkSandbox.h"
#include "Privileged/ApplicationMover.h"
#include "Shell/AppMover.h"
#include "support/LocalUser.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::chownTree;
using testing::TemporaryDirectory;
using testing::waitUntil;
using testing::writeFile;

constexpr uid_t kUser = 4242;
constexpr uid_t kOtherUser = 4243;

// A new root of bind mounts of the machine's top folders, a fresh Applications folder and an empty
// /run (where the mover keeps its lock), held by an idle process; the test sees it through
// /proc/<holder>/root.
// clang-format off
constexpr const char* kNewRoot = R"sh(set -e
mount -t tmpfs -o mode=0755 tmpfs /mnt
for entry in /*; do
    name=${entry#/}
    if [ "$name" = mnt ]; then continue; fi
    if [ -L "$entry" ]; then ln -s "$(readlink "$entry")" "/mnt/$name"
    elif [ -d "$entry" ]; then mkdir "/mnt/$name" && mount --rbind "$entry" "/mnt/$name"
    fi
done
mkdir -m 0755 /mnt/Applications
mount -t tmpfs -o mode=0755 tmpfs /mnt/run
exec chroot /mnt /bin/sleep infinity)sh";
// clang-format on

void makeApp(const fs::path& app, const std::string& mark) {
    writeFile(app / "Contents/Info.plist", "<plist/>");
    writeFile(app / "Contents/MacOS/Tarnwick", "#!/bin/sh\n");
    fs::permissions(app / "Contents/MacOS/Tarnwick", fs::perms::owner_all);
    writeFile(app / "Contents/Resources/mark", mark);
}

std::string read(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A shell command as the user.
int asUser(const std::string& command) {
    return testing::runShellAs(kUser, command);
}

class ApplicationMoverSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_holder = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/unshare", "--mount", "--propagation", "private",
                                     "/bin/sh", "-c", kNewRoot},
            ChildProcess::Options{});
        ASSERT_TRUE(waitUntil(
            [&] {
                std::error_code error;
                return fs::exists(applications(), error);
            },
            std::chrono::seconds(10)));
        fs::permissions(m_folder.path(), fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
        makeApp(bundle(), "new");
        chownTree(m_folder / "home", kUser);
        makeApp(m_folder / "other/Tarnwick.app", "other user's");
        chownTree(m_folder / "other", kOtherUser);
        makeApp(m_folder / "system/Tarnwick.app", "root's");
        writeFile(m_folder / "system/secret", "secret");
        fs::permissions(m_folder / "system/secret", fs::perms::owner_read);
        // The copy already in place, which nothing but the checked bundle may replace.
        makeApp(applications() / "Tarnwick.app", "old");
    }

    fs::path downloads() const { return m_folder / "home/Downloads"; }
    fs::path bundle() const { return downloads() / "Tarnwick.app"; }
    fs::path applications() const {
        return fs::path("/proc") / std::to_string(m_holder->pid()) / "root/Applications";
    }

    // The mover inside the namespace as pkexec runs it, on behalf of `requester`.
    std::vector<std::string> inside(const std::vector<std::string>& arguments,
                                    uid_t requester = kUser) const {
        std::vector<std::string> command{"/usr/bin/nsenter",
                                         "--target",
                                         std::to_string(m_holder->pid()),
                                         "--mount",
                                         "--root",
                                         "--wd",
                                         "--",
                                         "/usr/bin/env",
                                         "PKEXEC_UID=" + std::to_string(requester)};
        command.insert(command.end(), arguments.begin(), arguments.end());
        return command;
    }

    // Stands in for pkexec: `duringPrompt` runs while the user would type the password.
    CommandRunner prompt(std::string duringPrompt, uid_t requester = kUser) {
        return [this, duringPrompt, requester](const ProcessRequest& request) -> ProcessResult {
            ++m_prompts;
            if (!duringPrompt.empty()) {
                EXPECT_EQ(asUser(duringPrompt), 0) << duringPrompt;
            }
            ProcessRequest direct = request;
            direct.arguments =
                inside({request.arguments.begin() + 1, request.arguments.end()}, requester);
            auto outcome = Process::run(direct);
            if (outcome) {
                m_lastError = outcome->standardError;
            }
            return outcome;
        };
    }

    bool move(const std::string& duringPrompt = "", uid_t requester = kUser) {
        return AppMover::authorizedMove(bundle(), TEST_MOVER, prompt(duringPrompt, requester))
            .succeeded;
    }

    // Whatever the mover left beside the copy: staging folders of runs that ended.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(applications())) {
            if (entry.path().filename() != "Tarnwick.app") {
                names.push_back(entry.path().filename().string());
            }
        }
        return names;
    }

    std::string installedMark() const {
        return read(applications() / "Tarnwick.app/Contents/Resources/mark");
    }

    TemporaryDirectory m_folder;
    std::unique_ptr<ChildProcess> m_holder;
    int m_prompts = 0;
    std::string m_lastError;
};

TEST_F(ApplicationMoverSystemTest, ReplacesTheCopyInPlaceWithRootsFilesOfTheCheckedBundle) {
    ASSERT_TRUE(move()) << m_lastError;
    EXPECT_EQ(installedMark(), "new");
    const auto installed = applications() / "Tarnwick.app";
    for (const auto& [path, mode] :
         std::vector<std::pair<fs::path, mode_t>>{{installed, 0755},
                                                  {installed / "Contents/MacOS", 0755},
                                                  {installed / "Contents/MacOS/Tarnwick", 0755},
                                                  {installed / "Contents/Info.plist", 0644}}) {
        SCOPED_TRACE(path.string());
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 0u);
        EXPECT_EQ(info.st_gid, 0u);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
    EXPECT_EQ(leftovers(), std::vector<std::string>{});
    // Again, over the copy it made.
    ASSERT_TRUE(move()) << m_lastError;
    EXPECT_EQ(installedMark(), "new");
}

TEST_F(ApplicationMoverSystemTest, AHostileUserCannotMoveOrReplaceAnythingElse) {
    const auto home = m_folder / "home";
    const auto moved = m_folder / "home/Moved";
    const auto swapOut = "mv " + downloads().string() + " " + moved.string() + " && ";
    struct Row {
        std::string name;
        std::string beforeCheck;  // as the user, before the application checks the bundle
        std::string duringPrompt;
        uid_t requester = kUser;
        bool asks = true;  // whether the password prompt is reached at all
    };
    const std::vector<Row> rows = {
        {"the folder becomes a link to another user's during the prompt", "",
         swapOut + "ln -s " + (m_folder / "other").string() + " " + downloads().string()},
        {"the folder becomes a link to root's during the prompt", "",
         swapOut + "ln -s " + (m_folder / "system").string() + " " + downloads().string()},
        {"the folder is swapped for a real one during the prompt", "",
         swapOut + "mkdir -p " + bundle().string() + "/Contents && echo evil > " +
             bundle().string() + "/Contents/Info.plist"},
        {"the bundle becomes a link to root's during the prompt", "",
         "mv " + bundle().string() + " " + (home / "Kept.app").string() + " && ln -s " +
             (m_folder / "system/Tarnwick.app").string() + " " + bundle().string()},
        {"a folder in the bundle becomes a link during the prompt", "",
         "rm -r " + bundle().string() + "/Contents/Resources && ln -s " +
             (m_folder / "system").string() + " " + bundle().string() + "/Contents/Resources"},
        {"the bundle holds a FIFO", "mkfifo " + bundle().string() + "/Contents/Resources/pipe", ""},
        {"the folder is a link from the start",
         swapOut + "ln -s " + moved.string() + " " + downloads().string(), "", kUser, false},
        {"someone else asks for the user's bundle", "", "", kOtherUser},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.beforeCheck.empty()) {
            ASSERT_EQ(asUser(row.beforeCheck), 0);
        }
        m_prompts = 0;
        m_lastError.clear();
        EXPECT_FALSE(move(row.duringPrompt, row.requester));
        EXPECT_EQ(m_prompts, row.asks ? 1 : 0);
        EXPECT_EQ(installedMark(), "old") << m_lastError;
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
        // Back as it was for the next row.
        fs::remove_all(downloads());
        fs::remove_all(home / "Kept.app");
        if (fs::exists(moved)) {
            fs::rename(moved, downloads());
        }
        fs::remove_all(bundle());
        makeApp(bundle(), "new");
        chownTree(home, kUser);
    }
}

// Moves at once (two windows at start-up, a retry while the first still copies) end with one
// whole copy in place, whichever finished last, and nothing of theirs beside it.
TEST_F(ApplicationMoverSystemTest, MovesAtOnceLeaveOneWholeCopy) {
    // Enough files that copies overlap.
    for (int file = 0; file < 400; ++file) {
        writeFile(bundle() / "Contents/Resources/files" / std::to_string(file),
                  std::string(512, 'x'));
    }
    chownTree(m_folder / "home", kUser);
    const auto identity = ApplicationMover::check(bundle());
    ASSERT_TRUE(identity);
    std::vector<std::string> command{TEST_MOVER};
    const auto arguments = ApplicationMover::arguments(bundle(), *identity);
    command.insert(command.end(), arguments.begin(), arguments.end());
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::future<ProcessResult>> moves;
        for (int run = 0; run < 3; ++run) {
            moves.push_back(std::async(std::launch::async, [&] {
                ProcessRequest request;
                request.arguments = inside(command);
                return Process::run(request);
            }));
        }
        for (auto& move : moves) {
            const auto outcome = move.get();
            ASSERT_TRUE(outcome);
            EXPECT_EQ(outcome->exitStatus, 0) << outcome->standardError;
        }
        EXPECT_EQ(installedMark(), "new");
        std::size_t files = 0;
        for (const auto& entry :
             fs::directory_iterator(applications() / "Tarnwick.app/Contents/Resources/files")) {
            files += entry.is_regular_file() && fs::file_size(entry.path()) == 512 ? 1 : 0;
        }
        EXPECT_EQ(files, 400u);
        EXPECT_TRUE(fs::exists(applications() / "Tarnwick.app/Contents/MacOS/Tarnwick"));
        EXPECT_EQ(leftovers(), std::vector<std::string>{});
    }
}

// The kernel keeps a user from linking root's files; a bundle that holds one anyway is refused
// rather than handing the file out readable to all.
TEST_F(ApplicationMoverSystemTest, AnotherUsersFileInTheBundleIsNotCopied) {
    ASSERT_EQ(::link((m_folder / "system/secret").c_str(),
                     (bundle() / "Contents/Resources/secret").c_str()),
              0);
    EXPECT_FALSE(move());
    EXPECT_NE(m_lastError.find("belongs to another user"), std::string::npos) << m_lastError;
    EXPECT_EQ(installedMark(), "old");
}

TEST_F(ApplicationMoverSystemTest, TheMoverRefusesBadArguments) {
    const auto identity = ApplicationMover::check(bundle());
    ASSERT_TRUE(identity);
    const auto device = std::to_string(identity->device);
    const auto inode = std::to_string(identity->inode);
    fs::create_directories(downloads() / "Other.app");
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"move", bundle().string(), device, std::to_string(identity->inode + 1)},
             {"move", (downloads() / "Other.app").string(), device, inode},
             {"move", (downloads() / "../Downloads/Tarnwick.app").string(), device, inode},
             {"move", "Downloads/Tarnwick.app", device, inode},
             {"move", "/Applications/Tarnwick.app", device, inode},
             {"move", bundle().string(), device + "x", inode},
             {"remove", bundle().string(), device, inode},
             {"move", bundle().string()}}) {
        std::vector<std::string> command{TEST_MOVER};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ProcessRequest request;
        request.arguments = inside(command);
        const auto outcome = Process::run(request);
        ASSERT_TRUE(outcome);
        EXPECT_NE(outcome->exitStatus, 0) << arguments[1];
    }
    EXPECT_EQ(installedMark(), "old");
}

}  // namespace
}  // namespace tarnwick
