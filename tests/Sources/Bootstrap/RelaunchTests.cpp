#include "Bootstrap/Relaunch.h"
#include "Foundation/Process.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

TEST(Relaunch, ANewInstanceKnowsWhichInstanceToWaitFor) {
    struct Row {
        std::vector<std::string> arguments;
        std::optional<pid_t> expected;
    };
    for (const auto& row : std::vector<Row>{{{"Tarnwick", "--after-exit-of", "4321"}, 4321},
                                            {{"Tarnwick"}, std::nullopt},
                                            {{"Tarnwick", "--after-exit-of"}, std::nullopt},
                                            {{"Tarnwick", "--after-exit-of", "43x"}, std::nullopt},
                                            {{"Tarnwick", "--after-exit-of", "-5"}, std::nullopt},
                                            {{"Tarnwick", "--after-exit-of", "1"}, std::nullopt},
                                            {{"Tarnwick", "--after-exit-of", ""}, std::nullopt}}) {
        EXPECT_EQ(Relaunch::previousInstance(row.arguments), row.expected)
            << ::testing::PrintToString(row.arguments);
    }
}

TEST(Relaunch, StartsTheNewInstanceThenQuitsOnlyWhenItStarted) {
    int quits = 0;
    EXPECT_TRUE(Relaunch::start("/bin/true", [&] { ++quits; }));
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(Relaunch::start("/nonexistent/Tarnwick", [&] { ++quits; }));
    EXPECT_EQ(quits, 1);
}

TEST(Relaunch, WaitsForTheProcessToEndWithinItsLimit) {
    const auto sleeper = Process::launchDetached({"/bin/sleep", "0.3"});
    ASSERT_TRUE(sleeper);
    EXPECT_TRUE(Relaunch::waitForExit(*sleeper, 10s));
    EXPECT_FALSE(Relaunch::waitForExit(::getpid(), 200ms));
}

}  // namespace
}  // namespace tarnwick
