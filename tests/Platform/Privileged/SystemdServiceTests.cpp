// The extension's systemd unit: its text passes systemd's own check, and the helper's steps run
// the systemctl commands in order against a recording runner, with the unit file in a folder of
// the test's.

#include "Privileged/SystemdService.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

using Commands = std::vector<std::vector<std::string>>;

const std::string kBundleName = "com.example.filter.systemextension";
const std::string kUnit = "com.example.filter.service";

class SystemdServiceTest : public ::testing::Test {
protected:
    SystemdService service() {
        return SystemdService(
            {m_folder.path(),
             [this](const ProcessRequest& request) {
                 m_commands.push_back(request.arguments);
                 if (request.arguments.size() > 1 && request.arguments[1] == m_failing) {
                     return ProcessResult(ProcessOutcome{1, "", "refused\n"});
                 }
                 return ProcessResult(ProcessOutcome{0, m_mainPID, ""});
             }},
            kBundleName);
    }

    TemporaryDirectory m_folder;
    Commands m_commands;
    std::string m_mainPID = "4321\n";
    std::string m_failing;
};

TEST(SystemdServiceUnitTest, UnitPassesSystemdsCheck) {
    if (::access("/usr/bin/systemd-analyze", X_OK) != 0) {
        GTEST_SKIP() << "systemd-analyze is not installed";
    }
    TemporaryDirectory folder;
    writeFile(folder / kUnit, SystemdService::unitText("/bin/true", 4242));
    ProcessRequest verify;
    verify.arguments = {"systemd-analyze", "verify", (folder / kUnit).string()};
    const auto outcome = Process::run(verify);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->exitStatus, 0) << outcome->standardError;
    EXPECT_EQ(outcome->standardError, "");
}

TEST_F(SystemdServiceTest, InstallWritesTheUnitEnablesItAndAnswersItsProcess) {
    auto unit = service();
    const fs::path program = "/usr/local/lib/x/Contents/MacOS/filter";
    EXPECT_FALSE(unit.isInstalledAs(program, 4242));
    const auto started = unit.installAndStart(program, 4242);
    ASSERT_TRUE(started) << started.error();
    EXPECT_EQ(*started, 4321);
    const std::string text = readFile(m_folder / kUnit);
    EXPECT_NE(text.find("\nExecStart=/usr/local/lib/x/Contents/MacOS/filter\n"), std::string::npos);
    // systemd gives the program a clean environment: the desktop user must be in the unit.
    EXPECT_NE(text.find("\nEnvironment=TARNWICK_DESKTOP_UID=4242\n"), std::string::npos);
    EXPECT_TRUE(unit.isInstalledAs(program, 4242));
    EXPECT_FALSE(unit.isInstalledAs(program, 4243)) << "another user's unit is written again";
    EXPECT_NE(text.find("\nRestart=on-failure\n"), std::string::npos);
    EXPECT_NE(text.find("\nBefore=network-pre.target"), std::string::npos);
    EXPECT_EQ(fs::status(m_folder / kUnit).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(m_commands,
              (Commands{{"systemctl", "daemon-reload"},
                        {"systemctl", "enable", "--now", "--", kUnit},
                        {"systemctl", "show", "--property=MainPID", "--value", "--", kUnit}}));

    // A second activation stops what runs the old copy before the unit is rewritten.
    m_commands.clear();
    ASSERT_TRUE(unit.installAndStart(program, 4242));
    EXPECT_EQ(m_commands.front(), (std::vector<std::string>{"systemctl", "stop", "--", kUnit}));
}

TEST_F(SystemdServiceTest, RemoveDisablesStopsAndDeletesTheUnit) {
    auto unit = service();
    ASSERT_TRUE(unit.stopAndRemove());
    EXPECT_TRUE(m_commands.empty()) << "nothing to remove, nothing run";

    writeFile(m_folder / kUnit, SystemdService::unitText("/bin/true", 4242));
    ASSERT_TRUE(unit.stopAndRemove());
    EXPECT_FALSE(fs::exists(m_folder / kUnit));
    EXPECT_EQ(m_commands, (Commands{{"systemctl", "disable", "--now", "--", kUnit},
                                    {"systemctl", "daemon-reload"},
                                    {"systemctl", "reset-failed", "--", kUnit}}));
}

TEST_F(SystemdServiceTest, FailuresSayWhichStepAndKeepTheUnitWhenItCannotBeStopped) {
    m_failing = "enable";
    auto unit = service();
    const auto started = unit.installAndStart("/bin/true", 4242);
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error(), "systemctl enable failed: refused");

    m_failing = "";
    m_mainPID = "0\n";  // systemd's answer for a unit whose process has ended
    EXPECT_FALSE(unit.start());

    m_failing = "disable";
    EXPECT_FALSE(unit.stopAndRemove());
    EXPECT_TRUE(fs::exists(m_folder / kUnit)) << "a unit that may still run stays known";
}

// systemd reads spaces, quotes, "%", "$" and line breaks in ExecStart: such a program would not
// be the one installed, and a line break would add settings to a unit that runs as root.
TEST_F(SystemdServiceTest, ProgramsAndNamesSystemdWouldMisreadAreRefusedBeforeAnythingIsWritten) {
    for (const std::string program :
         {"/opt/x/Contents/MacOS/filter\nExecStartPre=/tmp/evil", "/opt/My Filter/filter",
          "/opt/x/filter%n", "/opt/x/$HOME", "/opt/x/\"filter\"", "/opt/x/caf\xc3\xa9", "filter"}) {
        const auto started = service().installAndStart(program, 4242);
        ASSERT_FALSE(started) << program;
        EXPECT_EQ(started.error().find('\n'), std::string::npos) << "one line";
    }
    const auto badName = SystemdService({m_folder.path(),
                                         [this](const ProcessRequest& request) {
                                             m_commands.push_back(request.arguments);
                                             return ProcessResult(ProcessOutcome{0, "", ""});
                                         }},
                                        "bad\nname.systemextension")
                             .installAndStart("/opt/x/filter", 4242);
    EXPECT_FALSE(badName);
    EXPECT_TRUE(m_commands.empty());
    EXPECT_TRUE(fs::is_empty(m_folder.path()));
}

TEST(SystemdServiceNamesTest, UnitNameAndSystemdDetection) {
    EXPECT_EQ(SystemdService::unitName(kBundleName), kUnit);
    TemporaryDirectory folder;
    EXPECT_FALSE(SystemdService::isSystemdRunning(folder / "system"));
    fs::create_directory(folder / "system");
    EXPECT_TRUE(SystemdService::isSystemdRunning(folder / "system"));
}

}  // namespace
}  // namespace tarnwick
