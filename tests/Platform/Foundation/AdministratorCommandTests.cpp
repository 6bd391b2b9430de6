#include "Foundation/AdministratorCommand.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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
    struct Case {
        int exitStatus;
        bool ok;
        AdministratorCommandError::Code code;
    };
    const Case cases[] = {
        {0, true, {}},
        {126, false, AdministratorCommandError::Code::notAuthorized},
        {127, false, AdministratorCommandError::Code::notAuthorized},
        {1, false, AdministratorCommandError::Code::failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exitStatus);
        ProcessRequest seen;
        auto result = AdministratorCommand::run(
            "/bin/true", {"a b"}, [&](const ProcessRequest& request) -> ProcessResult {
                seen = request;
                ProcessOutcome outcome;
                outcome.exitStatus = c.exitStatus;
                return outcome;
            });
        EXPECT_EQ(seen.arguments, (std::vector<std::string>{"pkexec", "/bin/true", "a b"}));
        EXPECT_EQ(result.ok(), c.ok);
        if (!c.ok) {
            EXPECT_EQ(result.error().code, c.code);
        }
    }
    auto relative = AdministratorCommand::run("rm", {}, systemCommandRunner());
    ASSERT_FALSE(relative);
    EXPECT_EQ(relative.error().code, AdministratorCommandError::Code::cannotStart);
}

}  // namespace
}  // namespace tarnwick
