// The system-extension helper as root against local users (uids 4242 and 4243) who own the bundle
// being installed, the folders around it or processes named like the extension. Each case runs
// the real helper in a private mount namespace, so the machine's install folder is never touched.

#include "HelperSandbox.h"
#include "Privileged/SystemExtensionHelper.h"
#include "support/LocalUser.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::chownTree;
using testing::HelperSandbox;
using testing::TemporaryDirectory;
using testing::waitUntil;
using testing::writeFile;

constexpr uid_t kUser = 4242;
constexpr uid_t kOtherUser = 4243;
const std::string kBundleName = SystemExtensionHelper::kExtensionBundleName;
const fs::path kInstalled = fs::path(SystemExtensionHelper::kInstallFolder) / kBundleName;
const fs::path kInstalledProgram = kInstalled / "Contents/MacOS/filter";

std::string infoPlist(const std::string& executable) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>com.example.filter</string>"
           "<key>CFBundleExecutable</key><string>" +
           executable + "</string></dict></plist>\n";
}

// Public, for the tables' steps.
class SystemExtensionHelperSystemTest : public ::testing::Test {
public:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root";
        }
        m_sandbox = std::make_unique<HelperSandbox>();
        fs::permissions(m_folder.path(), fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
    }

    // The user's bundle: a program that waits, and beside it a script that leaves a mark when
    // anything runs it.
    fs::path userBundle(const std::string& executable = "filter") {
        const auto bundle = m_folder / "user" / kBundleName;
        fs::create_directories(bundle / "Contents/MacOS");
        writeFile(bundle / "Contents/Info.plist", infoPlist(executable));
        fs::copy_file(TEST_DAEMON, bundle / "Contents/MacOS/filter",
                      fs::copy_options::overwrite_existing);
        writeFile(script(), "#!/bin/sh\ntouch " + marker().string() + "\nexec sleep 600\n");
        fs::permissions(script(), fs::perms::all);
        chownTree(m_folder / "user", kUser);
        return bundle;
    }
    fs::path script() const { return m_folder / "user" / "evil.sh"; }
    fs::path marker() const { return m_folder / "ran-as-root"; }

    ProcessOutcome activate(const fs::path& bundle) {
        return m_sandbox->runHelper({"activate", bundle.string()});
    }
    std::optional<pid_t> instance() const {
        return SystemExtensionHelper::runningInstance(m_sandbox->installFolder(), kBundleName);
    }

    TemporaryDirectory m_folder;
    std::unique_ptr<HelperSandbox> m_sandbox;
};

TEST_F(SystemExtensionHelperSystemTest, RefusesBundlesThatWouldRunAnotherFile) {
    struct Row {
        std::string name;
        std::function<fs::path(SystemExtensionHelperSystemTest&)> prepare;
    };
    const std::vector<Row> rows = {
        {"absolute program name",
         [](auto& test) { return test.userBundle(test.script().string()); }},
        {"program name that climbs out",
         [](auto& test) { return test.userBundle("../../../evil.sh"); }},
        {"program is a symbolic link",
         [](auto& test) {
             const auto bundle = test.userBundle();
             fs::remove(bundle / "Contents/MacOS/filter");
             fs::create_symlink(test.script(), bundle / "Contents/MacOS/filter");
             return bundle;
         }},
        {"bundle is a symbolic link",
         [](auto& test) {
             const auto bundle = test.userBundle();
             fs::rename(bundle, test.m_folder / "user/real.systemextension");
             fs::create_symlink(test.m_folder / "user/real.systemextension", bundle);
             return bundle;
         }},
        {"Info.plist is a symbolic link",
         [](auto& test) {
             const auto bundle = test.userBundle();
             writeFile(test.m_folder / "user/other.plist", infoPlist("filter"));
             fs::remove(bundle / "Contents/Info.plist");
             fs::create_symlink(test.m_folder / "user/other.plist", bundle / "Contents/Info.plist");
             return bundle;
         }},
        {"a FIFO in the bundle",
         [](auto& test) {
             const auto bundle = test.userBundle();
             EXPECT_EQ(::mkfifo((bundle / "Contents/Resources").c_str(), 0666), 0);
             return bundle;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(m_folder / "user");
        const auto outcome = activate(row.prepare(*this));
        EXPECT_NE(outcome.exitStatus, 0) << outcome.standardError;
        EXPECT_FALSE(fs::exists(m_sandbox->outside(kInstalled))) << outcome.standardError;
        EXPECT_FALSE(instance());
        // A program that was rightly never started leaves no event to wait for: a started one
        // gets a moment to leave its marker.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(fs::exists(marker()));
        m_sandbox->killInstances();
    }
}

TEST_F(SystemExtensionHelperSystemTest, CopiesAreRootsFilesWithPlainModesWhateverTheUmask) {
    const auto bundle = userBundle();
    fs::create_directories(bundle / "Contents/Resources");
    writeFile(bundle / "Contents/Resources/private", "x");
    chownTree(m_folder / "user", kUser);
    ::chmod((bundle / "Contents/MacOS/filter").c_str(), 04755);
    ::chmod((bundle / "Contents/Info.plist").c_str(), 0666);
    ::chmod((bundle / "Contents/Resources").c_str(), 02777);
    ::chmod((bundle / "Contents/Resources/private").c_str(), 0600);

    const mode_t saved = ::umask(0);
    const auto outcome = activate(bundle);
    ::umask(saved);
    ASSERT_EQ(outcome.exitStatus, 0) << outcome.standardError;
    EXPECT_TRUE(instance());

    const auto installed = m_sandbox->outside(kInstalled);
    std::vector<std::pair<fs::path, mode_t>> expected = {
        {m_sandbox->outside("/usr/local/lib/tarnwick"), 0755},
        {m_sandbox->installFolder(), 0755},
        {installed, 0755},
        {installed / "Contents", 0755},
        {installed / "Contents/Info.plist", 0644},
        {installed / "Contents/MacOS", 0755},
        {installed / "Contents/MacOS/filter", 0755},
        {installed / "Contents/Resources", 0755},
        {installed / "Contents/Resources/private", 0644},
    };
    for (const auto& [path, mode] : expected) {
        SCOPED_TRACE(path.string());
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        EXPECT_EQ(info.st_uid, 0u);
        EXPECT_EQ(info.st_gid, 0u);
    }

    // Another user cannot rewrite what root will run.
    ProcessRequest rewrite;
    rewrite.arguments = m_sandbox->inside(
        {"/bin/sh", "-c", "echo > " + (kInstalled / "Contents/Info.plist").string()}, kOtherUser);
    const auto attempt = Process::run(rewrite);
    ASSERT_TRUE(attempt);
    EXPECT_NE(attempt->exitStatus, 0);
}

TEST_F(SystemExtensionHelperSystemTest, RefusesAnInstallFolderAnotherUserCanChange) {
    struct Row {
        std::string name;
        std::function<void(const fs::path& tarnwick)> prepare;
    };
    const auto userFolder = m_folder / "user-folder";
    const std::vector<Row> rows = {
        {"owned by a user", [](const fs::path& folder) { ::chown(folder.c_str(), kUser, kUser); }},
        {"writable by others", [](const fs::path& folder) { ::chmod(folder.c_str(), 0777); }},
        {"writable by its group", [](const fs::path& folder) { ::chmod(folder.c_str(), 0775); }},
        {"a link to a user's folder",
         [&](const fs::path& folder) {
             fs::remove(folder);
             fs::create_directories(userFolder / "SystemExtensions");
             chownTree(userFolder, kUser);
             fs::create_symlink(userFolder, folder);
         }},
    };
    const auto bundle = userBundle();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto tarnwick = m_sandbox->outside("/usr/local/lib/tarnwick");
        fs::remove_all(tarnwick);
        fs::remove_all(userFolder);
        fs::create_directory(tarnwick);
        row.prepare(tarnwick);
        const auto outcome = activate(bundle);
        EXPECT_EQ(outcome.exitStatus, 1);
        EXPECT_NE(outcome.standardError.find("Unsafe install folder"), std::string::npos)
            << outcome.standardError;
        EXPECT_FALSE(instance());
        EXPECT_FALSE(fs::exists(userFolder / "SystemExtensions" / kBundleName));
        EXPECT_FALSE(fs::exists(tarnwick / "SystemExtensions" / kBundleName));
    }
}

TEST_F(SystemExtensionHelperSystemTest, AnotherUsersProcessIsNeitherTrustedNorSignalled) {
    struct Row {
        std::string name;
        std::vector<std::string> arguments;
    };
    const std::vector<Row> rows = {
        {"named like the extension",
         {"/bin/bash", "-c", "exec -a \"$0\" /bin/sleep 600", kInstalledProgram.string()}},
        {"running the installed program", {kInstalledProgram.string()}},
    };
    ASSERT_EQ(activate(userBundle()).exitStatus, 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(m_sandbox->runHelper({"start", kBundleName}).exitStatus, 0);
        const auto extension = instance();
        ASSERT_TRUE(extension);
        ::kill(*extension, SIGKILL);
        ASSERT_TRUE(waitUntil([&] { return !instance(); }, std::chrono::seconds(5)));

        // The user's process takes the number the pid file names, as after a reuse.
        ChildProcess::Options options;
        options.mountNamespaceOf = m_sandbox->holder();
        options.user = kUser;
        ChildProcess impostor(row.arguments, options);
        ASSERT_TRUE(waitUntil(
            [&] {
                return testing::readFile("/proc/" + std::to_string(impostor.pid()) + "/cmdline")
                           .rfind(kInstalledProgram.string(), 0) == 0;
            },
            std::chrono::seconds(5)));
        writeFile(SystemExtensionHelper::pidFile(m_sandbox->installFolder(), kBundleName),
                  std::to_string(impostor.pid()) + "\n");
        EXPECT_FALSE(instance());

        // `start` runs the real extension beside it.
        const auto started = m_sandbox->runHelper({"start", kBundleName});
        EXPECT_EQ(started.exitStatus, 0) << started.standardError;
        const auto real = instance();
        ASSERT_TRUE(real);
        EXPECT_NE(*real, impostor.pid());

        // `deactivate` stops only that one.
        writeFile(SystemExtensionHelper::pidFile(m_sandbox->installFolder(), kBundleName),
                  std::to_string(impostor.pid()) + "\n");
        EXPECT_EQ(m_sandbox->runHelper({"deactivate", kBundleName}).exitStatus, 0);
        EXPECT_EQ(::kill(impostor.pid(), 0), 0) << "the user's process was signalled";
        ::kill(*real, SIGKILL);
        ASSERT_EQ(activate(userBundle()).exitStatus, 0);
    }
}

// Whoever may run the helper as root reaches nothing but this extension's own folder and unit: a
// copy of another name in the install folder (another program's, or one named like an option)
// is neither started nor removed.
TEST_F(SystemExtensionHelperSystemTest, OnlyTheExtensionsOwnBundleNameIsAccepted) {
    const auto bundle = userBundle();
    ASSERT_EQ(activate(bundle).exitStatus, 0);
    for (const std::string name :
         {"display-manager.systemextension", "-now.systemextension", "--now.systemextension"}) {
        SCOPED_TRACE(name);
        fs::copy(m_sandbox->outside(kInstalled), m_sandbox->installFolder() / name,
                 fs::copy_options::recursive);
        for (const std::string command : {"start", "deactivate"}) {
            const auto outcome = m_sandbox->runHelper({command, name});
            EXPECT_EQ(outcome.exitStatus, SystemExtensionHelper::kBadArguments)
                << command << ": " << outcome.standardError;
        }
        const auto renamed = m_folder / "user" / name;
        fs::rename(bundle, renamed);
        EXPECT_EQ(activate(renamed).exitStatus, SystemExtensionHelper::kBadArguments);
        fs::rename(renamed, bundle);
        EXPECT_TRUE(fs::exists(m_sandbox->installFolder() / name / "Contents/MacOS/filter"));
    }
    EXPECT_TRUE(instance()) << "our own copy keeps running";
}

TEST_F(SystemExtensionHelperSystemTest, ActivationsAtOnceLeaveOneCompleteRunningCopy) {
    const auto bundle = userBundle();
    const auto ours = [this](const std::string& pid) {
        return pid != std::to_string(m_sandbox->holder()) &&
               testing::readFile("/proc/" + pid + "/cmdline")
                       .rfind(kInstalledProgram.string() + '\0', 0) == 0 &&
               fs::equivalent("/proc/" + pid + "/ns/mnt",
                              "/proc/" + std::to_string(m_sandbox->holder()) + "/ns/mnt");
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::future<ProcessOutcome>> runs;
        for (int run = 0; run < 3; ++run) {
            runs.push_back(std::async(std::launch::async, [&] { return activate(bundle); }));
        }
        for (auto& run : runs) {
            const auto outcome = run.get();
            EXPECT_EQ(outcome.exitStatus, 0) << outcome.standardError;
        }
        std::vector<std::string> running;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const auto pid = entry.path().filename().string();
            std::error_code error;
            if (pid.find_first_not_of("0123456789") == std::string::npos && ours(pid)) {
                running.push_back(pid);
            }
        }
        ASSERT_EQ(running.size(), 1u);
        EXPECT_EQ(std::to_string(instance().value_or(0)), running.front());
        EXPECT_TRUE(fs::exists(m_sandbox->outside(kInstalledProgram)));
    }
}

TEST(SystemExtensionHelperTest, RefusesArgumentsThatLeaveTheInstallFolder) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"deactivate", "../etc.systemextension"},
                                               {"deactivate", "passwd"},
                                               {"start", "a/b.systemextension"},
                                               {"activate", "relative.systemextension"},
                                               {"activate", "/tmp/x/../y.systemextension"},
                                               {"activate", "/tmp/not-an-extension"},
                                               {"remove-everything", "a.systemextension"},
                                               {"activate"},
                                               {"start", "/tmp/x", "a.systemextension"},
                                               {"deactivate", "display-manager.systemextension"},
                                               {"start", "-h.systemextension"},
                                               {"activate", "/tmp/other.systemextension"}}) {
        EXPECT_EQ(SystemExtensionHelper::run(arguments), SystemExtensionHelper::kBadArguments);
    }
}

TEST(SystemExtensionHelperTest, ActivationFailsWhenTheExtensionEndsBeforeItServes) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    // An extension that declares a service is running only once the service answers; one that
    // ends at start must not be reported as activated.
    HelperSandbox sandbox;
    TemporaryDirectory folder;
    const auto bundle = folder.path() / "source" / kBundleName;
    fs::create_directories(bundle / "Contents/MacOS");
    writeFile(bundle / "Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>com.example.filter</string>"
              "<key>CFBundleExecutable</key><string>filter</string>"
              "<key>NetworkExtension</key><dict><key>NEMachServiceName</key>"
              "<string>com.example.never-serving</string></dict></dict></plist>\n");
    writeFile(bundle / "Contents/MacOS/filter", "#!/bin/sh\nexit 1\n");
    fs::permissions(bundle / "Contents/MacOS/filter", fs::perms::owner_all);

    EXPECT_EQ(sandbox.runHelper({"activate", bundle.string()}).exitStatus, 1);
}

}  // namespace
}  // namespace tarnwick
