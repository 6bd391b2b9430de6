#include "Privileged/AdministratorCommand.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tarnwick {
namespace {

TEST(AdministratorCommand, EveryArgumentStaysWholeAndReachesTheProgram) {
    testing::TemporaryDirectory folder;
    // A stand-in for pkexec that runs the program as this user, so the real argument vector
    // travels through a real process.
    const auto bin = folder / "bin";
    std::filesystem::create_directories(bin);
    testing::writeFile(bin / "pkexec", "#!/bin/sh\nexec \"$@\"\n");
    std::filesystem::permissions(bin / "pkexec", std::filesystem::perms::owner_all);
    ::setenv("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str(), 1);

    const auto victim = folder / "it's a \"bundle\"; rm -rf $HOME.app";
    std::filesystem::create_directories(victim / "Contents");
    const auto bystander = folder / "bystander";
    testing::writeFile(bystander, "stays");

    auto result =
        AdministratorCommand::run("/bin/rm", {"-rf", "--", victim.string()}, systemCommandRunner());
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_FALSE(std::filesystem::exists(victim));
    EXPECT_TRUE(std::filesystem::exists(bystander));
}

TEST(AdministratorCommand, ExitStatusesBecomeErrors) {
    using Code = AdministratorCommandError::Code;
    struct Case {
        int exitStatus;
        std::string standardError;
        bool direct;
        std::optional<Code> code;  // none: success
        std::string message;
    };
    const Case cases[] = {
        {0, "", false, std::nullopt, ""},
        {126, "Error executing command as another user: Request dismissed\n", false,
         Code::dismissed, "Error executing command as another user: Request dismissed"},
        {127,
         "Error executing command as another user: Not authorized\n\nThis incident has been "
         "reported.\n",
         false, Code::notAuthorized, "Error executing command as another user: Not authorized"},
        // pkexec never reached anyone who could ask for the password.
        {127,
         "Error getting authority: Error initializing authority: Could not connect: No such file "
         "or directory\n",
         false, Code::noAuthority,
         "Error getting authority: Error initializing authority: Could not connect: No such file "
         "or directory"},
        {127, "Error executing command as another user: No authentication agent found.\n", false,
         Code::noAuthority,
         "Error executing command as another user: No authentication agent found."},
        {1, "it broke\nbadly\n", false, Code::failed, "exit status 1: it broke"},
        // Run directly, the statuses are the program's own.
        {127, "", true, Code::failed, "exit status 127"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.exitStatus) + " " + c.standardError);
        ProcessRequest seen;
        auto result = AdministratorCommand::run(
            "/bin/true", {"a b"},
            [&](const ProcessRequest& request) -> ProcessResult {
                seen = request;
                return ProcessOutcome{c.exitStatus, "", c.standardError};
            },
            c.direct);
        EXPECT_EQ(seen.arguments, c.direct
                                      ? (std::vector<std::string>{"/bin/true", "a b"})
                                      : (std::vector<std::string>{"pkexec", "/bin/true", "a b"}));
        ASSERT_EQ(result.ok(), !c.code);
        if (c.code) {
            EXPECT_EQ(result.error().code, *c.code);
            EXPECT_EQ(result.error().message, c.message);
            EXPECT_EQ(result.error().exitStatus, c.exitStatus);
        }
    }
    auto relative = AdministratorCommand::run("rm", {}, systemCommandRunner());
    ASSERT_FALSE(relative);
    EXPECT_EQ(relative.error().code, AdministratorCommandError::Code::cannotStart);
}

}  // namespace
}  // namespace tarnwick
