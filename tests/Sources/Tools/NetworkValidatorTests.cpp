#include "Dispatch/RunLoop.h"
#include "Network/ManualPathSource.h"
#include "Network/PathMonitor.h"
#include "Tools/NetworkValidator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

constexpr NetworkPath kUp{NetworkPath::Status::satisfied};
constexpr NetworkPath kDown{NetworkPath::Status::unsatisfied};
constexpr NetworkPath kNeedsConnection{NetworkPath::Status::requiresConnection};

// Hands out monitors over hand-driven sources and keeps the sources for the test.
struct ManualMonitors {
    std::vector<std::shared_ptr<ManualPathSource>> sources;

    NetworkValidator::MonitorFactory factory(NetworkPath initial) {
        return [this, initial] {
            auto source = std::make_shared<ManualPathSource>(initial);
            sources.push_back(source);
            return std::make_shared<PathMonitor>(source);
        };
    }
};

void drainMainQueue() {
    RunLoop::main().runFor(0ms);
}

TEST(NetworkValidator, ReportsEachChangeOnTheMainThread) {
    ManualMonitors monitors;
    auto validator = std::make_shared<NetworkValidator>(monitors.factory(kUp));
    EXPECT_FALSE(validator->networkStatus());
    EXPECT_EQ(validator->networkMonitor(), nullptr);

    std::vector<bool> reported;
    bool allOnMain = true;
    validator->startMonitoring([&](bool connected) {
        allOnMain = allOnMain && isMainThread();
        reported.push_back(connected);
    });
    EXPECT_FALSE(validator->networkStatus());  // before the first update
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return reported.size() == 1; }, 5s));
    EXPECT_TRUE(validator->networkStatus());
    EXPECT_TRUE(validator->isNetworkUp());

    monitors.sources[0]->setPath(kDown);
    monitors.sources[0]->setPath(kUp);
    monitors.sources[0]->setPath(kNeedsConnection);  // counts as no network
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return reported.size() == 4; }, 5s));
    EXPECT_EQ(reported, (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(allOnMain);
    EXPECT_FALSE(validator->networkStatus());
    EXPECT_FALSE(validator->isNetworkUp());
}

TEST(NetworkValidator, SecondStartReplacesMonitorAndCallback) {
    ManualMonitors monitors;
    auto validator = std::make_shared<NetworkValidator>(monitors.factory(kDown));
    std::vector<bool> first;
    std::vector<bool> second;
    validator->startMonitoring([&](bool connected) { first.push_back(connected); });
    drainMainQueue();
    validator->startMonitoring([&](bool connected) { second.push_back(connected); });
    ASSERT_EQ(monitors.sources.size(), 2u);
    EXPECT_FALSE(monitors.sources[0]->isStarted());
    monitors.sources[1]->setPath(kUp);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return second.size() == 2; }, 5s));
    EXPECT_EQ(first, std::vector<bool>{false});
    EXPECT_EQ(second, (std::vector<bool>{false, true}));
}

TEST(NetworkValidator, StopDropsMonitorAndCallbackButKeepsTheStatus) {
    ManualMonitors monitors;
    auto validator = std::make_shared<NetworkValidator>(monitors.factory(kUp));
    int calls = 0;
    validator->startMonitoring([&](bool) { ++calls; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return calls == 1; }, 5s));
    monitors.sources[0]->setPath(kDown);  // on its way to the main queue
    validator->stopMonitoring();
    drainMainQueue();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(validator->networkMonitor(), nullptr);
    EXPECT_FALSE(monitors.sources[0]->isStarted());
    EXPECT_TRUE(validator->networkStatus());
}

TEST(NetworkValidator, UpdateAfterTheValidatorIsGoneDoesNothing) {
    ManualMonitors monitors;
    auto validator = std::make_shared<NetworkValidator>(monitors.factory(kDown));
    int calls = 0;
    validator->startMonitoring([&](bool) { ++calls; });
    auto monitor = validator->networkMonitor();  // kept alive beyond the validator
    validator.reset();
    monitors.sources[0]->setPath(kUp);
    drainMainQueue();
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tarnwick
