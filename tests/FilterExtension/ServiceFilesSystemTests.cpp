// The files the extension keeps as root, against another local user who would hold its lock to
// keep every later instance out. The real extension in namespaces of the test's own, the other
// user as a real process (flock(1)). Needs root; skipped elsewhere.

#include "ExtensionSystemTest.h"
#include "NetworkExtension/Provider/FilterConfigurationStore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 4243;

class ServiceFiles : public ExtensionSystemTest {
protected:
    // A process that keeps a mount namespace alive: the extension's, or (0) a fresh one with
    // empty /run and /var/lib.
    std::unique_ptr<ChildProcess> holdNamespace(pid_t of) const {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = of;
        options.privateRunFolders = of == 0;
        auto holder = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/bin/sh", "-c", "echo ready; exec sleep infinity"}, options);
        EXPECT_EQ(holder->readLine(kWait), "ready");
        return holder;
    }

    // Another user who waits for the extension's lock and says when they have it.
    std::unique_ptr<ChildProcess> lockAsOtherUser(pid_t mountNamespaceOf) const {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = mountNamespaceOf;
        options.user = kOtherUser;
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/flock", "--exclusive", "--no-fork",
                                     "/run/tarnwick/.lock", "-c",
                                     "echo locked; exec sleep infinity"},
            options);
    }

    // An extension in the mount namespace of `holder`; nothing when it does not serve in time.
    std::unique_ptr<ChildProcess> startExtensionIn(const ChildProcess& holder) const {
        ChildProcess::Options options;
        options.networkNamespace = client();
        options.mountNamespaceOf = holder.pid();
        options.environment = {"PKEXEC_UID=" + std::to_string(kDesktopUser)};
        auto extension = std::make_unique<ChildProcess>(
            std::vector<std::string>{TARNWICK_FILTER_EXTENSION, "--application",
                                     TARNWICK_TEST_PEER},
            options);
        const auto folder = runFolderOf(holder);
        if (!waitUntil(
                [&] {
                    return fs::exists(folder / m_service) && fs::exists(folder / "filter-manager");
                },
                kStartWait)) {
            return nullptr;
        }
        return extension;
    }

    static struct stat statusOf(const fs::path& path) {
        struct stat status {};
        EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
        return status;
    }
};

TEST_F(ServiceFiles, RootsFilesAreRootsAloneSoAnotherUserCannotKeepTheNextInstanceOut) {
    startExtension();
    ASSERT_EQ(setFilterEnabled(true), std::nullopt);
    const fs::path root = "/proc/" + std::to_string(m_extension->pid()) + "/root";
    const auto identifier = Bundle(TARNWICK_EXTENSION_BUNDLE).bundleIdentifier().value_or("");
    const fs::path configuration =
        root / FilterConfigurationStore::defaultFile(identifier).relative_path();
    struct Row {
        fs::path path;
        mode_t mode;
    };
    for (const auto& [path, mode] :
         {Row{runFolder(), 040755}, Row{runFolder() / ".lock", 0100600},
          Row{configuration.parent_path().parent_path(), 040755},
          Row{configuration.parent_path(), 040755}, Row{configuration, 0100600}}) {
        SCOPED_TRACE(path.string());
        const auto status = statusOf(path);
        EXPECT_EQ(status.st_mode, mode);
        EXPECT_EQ(status.st_uid, 0u);
    }

    // The other user cannot even open the lock to wait for it, so when the extension stops the
    // next one takes it.
    const auto holder = holdNamespace(m_extension->pid());
    auto waiter = lockAsOtherUser(holder->pid());
    const auto refused = waiter->stop(0, kWait);
    EXPECT_TRUE(refused && *refused != 0) << "the other user opened the lock and waits for it";
    EXPECT_EQ(m_extension->stop(SIGTERM, kWait), 0);
    m_extension = startExtensionIn(*holder);
    ASSERT_NE(m_extension, nullptr) << "the next instance did not start";
    auto application = startPeer("deny");
    EXPECT_EQ(application->readLine(kWait), "registered true");
}

TEST_F(ServiceFiles, ALockFileOfAnotherOwnerOrModeIsReplacedNotUsed) {
    struct Row {
        const char* name;
        mode_t mode;
        uid_t owner;
    };
    for (const auto& row : {Row{"readable by all, as older versions made it", 0644, 0},
                            Row{"another user's", 0600, kOtherUser}}) {
        SCOPED_TRACE(row.name);
        const auto holder = holdNamespace(0);
        const auto lock = runFolderOf(*holder) / ".lock";
        fs::create_directory(lock.parent_path());
        std::ofstream(lock).put('\n');
        ASSERT_EQ(::chmod(lock.c_str(), row.mode), 0);
        ASSERT_EQ(::chown(lock.c_str(), row.owner, row.owner), 0);
        const ino_t planted = statusOf(lock).st_ino;

        // The other user opened it while they could, and holds the lock.
        auto waiter = lockAsOtherUser(holder->pid());
        ASSERT_EQ(waiter->readLine(kWait), "locked");

        m_extension = startExtensionIn(*holder);
        ASSERT_NE(m_extension, nullptr) << "the held lock kept the extension out";
        const auto status = statusOf(lock);
        EXPECT_NE(status.st_ino, planted);
        EXPECT_EQ(status.st_mode, 0100600u);
        EXPECT_EQ(status.st_uid, 0u);
        EXPECT_EQ(m_extension->stop(SIGTERM, kWait), 0);
        m_extension.reset();
    }
}

}  // namespace
}  // namespace tarnwick::testing
