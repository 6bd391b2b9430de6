#include "Foundation/Process.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

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

// The status of a program that was started to go on by itself, for a caller that must know
// whether it failed (a desktop opener that found no handler).
TEST(Process, DetachedProgramTellsHowItEnded) {
    for (const auto& [arguments, expected] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"true"}, 0}, {{"sh", "-c", "exit 3"}, 3}, {{"sh", "-c", "kill -9 $$"}, 128 + 9}}) {
        SCOPED_TRACE(arguments.back());
        std::promise<int> ended;
        const auto pid = Process::launchDetached(
            arguments, [&ended](int exitStatus) { ended.set_value(exitStatus); });
        ASSERT_TRUE(pid.ok()) << pid.error().message;
        auto status = ended.get_future();
        ASSERT_EQ(status.wait_for(60s), std::future_status::ready);
        EXPECT_EQ(status.get(), expected);
    }
}

// A zombie keeps its /proc entry, so "gone" means reaped.
bool reaped(pid_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

std::ptrdiff_t threadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
}

TEST(Process, DetachedProgramsAreReapedOnOneThreadThatStopsWithoutWaitingForThem) {
    // A sanitizer starts a helper thread with the first thread: that one is not counted.
    std::thread([] {}).join();
    // An earlier launch in this process has started the reaper already.
    Process::stopReaping();
    const auto before = threadCount();
    std::vector<pid_t> quick;
    for (int i = 0; i < 3; ++i) {
        const auto pid = Process::launchDetached({"true"});
        ASSERT_TRUE(pid.ok()) << pid.error().message;
        quick.push_back(*pid);
    }
    const auto slow = Process::launchDetached({"sleep", "30"});
    ASSERT_TRUE(slow.ok()) << slow.error().message;
    for (int i = 0; i < 500 && !std::all_of(quick.begin(), quick.end(), reaped); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(std::all_of(quick.begin(), quick.end(), reaped)) << "a zombie was left";
    EXPECT_EQ(threadCount(), before + 1) << "one thread reaps them all";

    const auto stopStarted = std::chrono::steady_clock::now();
    Process::stopReaping();
    EXPECT_LT(std::chrono::steady_clock::now() - stopStarted, 5s) << "it waited for the child";
    EXPECT_EQ(threadCount(), before);
    EXPECT_FALSE(reaped(*slow));

    // A launch after the stop starts the reaper again, and it still knows the earlier child.
    ::kill(*slow, SIGKILL);
    const auto later = Process::launchDetached({"true"});
    ASSERT_TRUE(later.ok());
    for (int i = 0; i < 500 && !(reaped(*slow) && reaped(*later)); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(reaped(*slow));
    EXPECT_TRUE(reaped(*later));
    Process::stopReaping();
    EXPECT_EQ(threadCount(), before);
}

}  // namespace
}  // namespace tarnwick
