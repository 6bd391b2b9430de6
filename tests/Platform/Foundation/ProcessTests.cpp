#include "Foundation/Process.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

// A request with the default limits; rows name only what they vary.
ProcessRequest request(std::vector<std::string> arguments,
                       std::optional<std::string> input = std::nullopt,
                       std::vector<std::string> environment = {}) {
    ProcessRequest request;
    request.arguments = std::move(arguments);
    request.input = std::move(input);
    request.environment = std::move(environment);
    return request;
}

TEST(Process, RunsAnArgumentVectorAndReportsItsOutputAndStatus) {
    struct Case {
        const char* name;
        ProcessRequest request;
        int status;
        std::string output;
        std::string error;
    };
    const std::string big(1 << 20, 'x');  // more than a pipe holds, both ways
    const std::vector<Case> cases = {
        {"arguments stay whole", request({"printf", "%s|%s", "a b", "; rm -rf /"}), 0,
         "a b|; rm -rf /", ""},
        {"input reaches the program", request({"cat"}, "hello"), 0, "hello", ""},
        {"input larger than a pipe", request({"cat"}, big), 0, big, ""},
        {"exit status and error output", request({"sh", "-c", "echo oops >&2; exit 3"}), 3, "",
         "oops\n"},
        {"environment added",
         request({"sh", "-c", "printf %s \"$TARNWICK_PROBE\""}, std::nullopt,
                 {"TARNWICK_PROBE=42"}),
         0, "42", ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto result = Process::run(row.request);
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(result->exitStatus, row.status);
        EXPECT_EQ(result->standardOutput, row.output);
        EXPECT_EQ(result->standardError, row.error);
        EXPECT_FALSE(result->outputTruncated);
    }
}

TEST(Process, RefusesWhatCannotRunAndStopsWhatRunsTooLong) {
    const auto missing = Process::run(request({"/nonexistent/program"}));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ProcessError::Code::cannotStart);

    const auto empty = Process::run({});
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().code, ProcessError::Code::invalidRequest);

    const auto started = std::chrono::steady_clock::now();
    auto slowRequest = request({"sh", "-c", "echo started; exec sleep 30"});
    slowRequest.timeLimit = 300ms;
    const auto slow = Process::run(slowRequest);
    ASSERT_FALSE(slow.ok());
    EXPECT_EQ(slow.error().code, ProcessError::Code::timedOut);
    EXPECT_EQ(slow.error().partialOutput, "started\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(Process, KeepsOnlyTheOutputLimit) {
    auto limited = request({"head", "-c", "100000", "/dev/zero"});
    limited.outputLimit = 1000;
    const auto result = Process::run(limited);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result->standardOutput.size(), 1000u);
    EXPECT_TRUE(result->outputTruncated);
    EXPECT_TRUE(result->succeeded());
}

TEST(Process, DetachedProgramRunsOnItsOwn) {
    testing::TemporaryDirectory folder;
    const auto marker = folder.path() / "ran";
    const auto pid = Process::launchDetached({"touch", marker.string()});
    ASSERT_TRUE(pid.ok()) << pid.error().message;
    for (int i = 0; i < 500 && !std::filesystem::exists(marker); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(std::filesystem::exists(marker));
    EXPECT_FALSE(Process::launchDetached({"/nonexistent/program"}).ok());
}

}  // namespace
}  // namespace tarnwick
