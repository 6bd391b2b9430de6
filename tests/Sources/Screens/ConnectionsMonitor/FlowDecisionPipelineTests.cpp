#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Screens/ConnectionsMonitor/FlowDecisionPipeline.h"
#include "Screens/Presenters/ConnectionAlertAnswer.h"
#include "Sources/Tools/GeoIPTestServer.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <set>

namespace tarnwick::testing {
namespace {

using namespace std::chrono_literals;
using FlowInfo = FlowDecisionPipeline::FlowInfo;

// Lists by bundle identifier; keeps every alert it is asked to run, for the test to answer.
class ScriptedListManager final : public SettingsAllowancesListManager {
public:
    struct Run {
        ConnectionAlert alert;
        FlowInfo flowInfo;
        std::string remoteAddress;
        std::chrono::steady_clock::time_point deadline;
        std::function<void(int)> completion;
    };

    bool isAllowed(const FlowInfo& flowInfo) override { return listed(allowed, flowInfo); }
    bool isDenied(const FlowInfo& flowInfo) override { return listed(denied, flowInfo); }
    void runConnectionAlert(const ConnectionAlert& alert, const FlowInfo& flowInfo,
                            const std::string& remoteAddress,
                            std::chrono::steady_clock::time_point deadline,
                            std::function<void(int)> completion) override {
        runs.push_back({alert, flowInfo, remoteAddress, deadline, std::move(completion)});
    }

    std::set<std::string> allowed;
    std::set<std::string> denied;
    std::vector<Run> runs;

private:
    static bool listed(const std::set<std::string>& list, const FlowInfo& flowInfo) {
        const auto found = flowInfo.find("bundleId");
        return found != flowInfo.end() && list.count(found->second) != 0;
    }
};

// One pipeline over a real geo-IP service on the loopback that places 203.0.113.1 in "RU", a
// target country, and the manual clock. Replies and recordings go into one log, in their order.
class FlowDecisionPipelineTest : public ::testing::Test {
protected:
    static constexpr const char* kRussianServer = "203.0.113.1";

    FlowDecisionPipelineTest() {
        geoIP.setAnswer(kRussianServer, R"({"country": {"isoCode": "RU"}})");
    }

    std::shared_ptr<FlowDecisionPipeline> make(
        std::shared_ptr<SettingsAllowancesListManager> manager) {
        return std::make_shared<FlowDecisionPipeline>(FlowDecisionPipeline::Dependencies{
            std::move(manager), std::make_shared<WhoIs>(geoIP.service()), "geoip.example",
            &countries, &Workspace::shared(), &clock, DispatchQueue::main(), 55s,
            [log = log](const FlowInfo& flowInfo, bool isAllowed) {
                log->push_back("record " + flowInfo.at("bundleId") +
                               (isAllowed ? " allowed" : " denied"));
            }});
    }
    // Sends a flow of the application `bundleId` to `address`.
    void send(FlowDecisionPipeline& pipeline, const std::string& bundleId,
              const std::string& address = kRussianServer) {
        pipeline.decide({{"bundleId", bundleId}, {"remoteAddress", address}},
                        [log = log, bundleId](bool allow) {
                            log->push_back("reply " + bundleId + (allow ? " allowed" : " denied"));
                        });
    }
    // Answers the Russian server from the cache from now on, so its flows reach the lists and the
    // alert within one turn of the main queue.
    void cacheRussianServer(FlowDecisionPipeline& pipeline) {
        lists->denied.insert("warm.app");
        send(pipeline, "warm.app");
        ASSERT_TRUE(waitFor([&] { return log->size() == 2; }));
        lists->denied.erase("warm.app");
        log->clear();
    }
    bool waitFor(const std::function<bool()>& condition) {
        return RunLoop::main().runUntil(condition, 10s);
    }
    static void drain() { RunLoop::main().runFor(0ms); }

    TemporarySettings settings;
    GeoIPTestServer geoIP;
    ManualScheduler clock;
    UndesirableCountriesManager countries;
    std::shared_ptr<ScriptedListManager> lists = std::make_shared<ScriptedListManager>();
    std::shared_ptr<std::vector<std::string>> log = std::make_shared<std::vector<std::string>>();
};

TEST_F(FlowDecisionPipelineTest, EveryVerdictIsRecordedBeforeItsReply) {
    const auto pipeline = make(lists);
    lists->denied = {"denied.app"};
    pipeline->decide(
        {{"bundleId", "own.app"}, {"aza", "geoip.example"}, {"remoteAddress", "192.0.2.7"}},
        [log = log](bool allow) { log->push_back(allow ? "reply own" : "deny own"); });
    send(*pipeline, "local.app", "127.0.0.1");
    send(*pipeline, "denied.app");
    ASSERT_TRUE(waitFor([&] { return log->size() == 6; }));
    drain();
    EXPECT_EQ(*log,
              (std::vector<std::string>{"record own.app allowed", "reply own",
                                        "record local.app allowed", "reply local.app allowed",
                                        "record denied.app denied", "reply denied.app denied"}));
    // Neither the service's own traffic nor a local address is looked up.
    for (const auto& asked : geoIP.asked()) {
        EXPECT_EQ(asked, kRussianServer);
    }
}

TEST_F(FlowDecisionPipelineTest, WithoutAListManagerNothingIsLookedUpAndAllIsAllowed) {
    const auto pipeline = make(nullptr);
    send(*pipeline, "a.app");
    ASSERT_TRUE(waitFor([&] { return log->size() == 2; }));
    EXPECT_EQ(*log, (std::vector<std::string>{"record a.app allowed", "reply a.app allowed"}));
    EXPECT_TRUE(geoIP.asked().empty());
}

// Alerts come one at a time in arrival order, each flow keeping the deadline it got on arrival,
// and an answer that settles the flows behind it spares them their alert.
TEST_F(FlowDecisionPipelineTest, AlertsQueueInOrderAndAnswersSettleTheFlowsBehind) {
    const auto pipeline = make(lists);
    cacheRussianServer(*pipeline);
    const auto arrival = clock.now();
    send(*pipeline, "first.app");
    send(*pipeline, "second.app");
    send(*pipeline, "first.app");
    drain();
    ASSERT_EQ(lists->runs.size(), 1u);
    EXPECT_EQ(lists->runs[0].flowInfo.at("bundleId"), "first.app");
    EXPECT_EQ(lists->runs[0].remoteAddress, kRussianServer);
    EXPECT_EQ(lists->runs[0].deadline, arrival + 55s);
    EXPECT_TRUE(log->empty());

    clock.advance(10s);
    lists->allowed = {"first.app"};
    lists->runs[0].completion(static_cast<int>(ConnectionAlertAnswer::allowApplication));
    drain();
    ASSERT_EQ(lists->runs.size(), 2u);
    EXPECT_EQ(lists->runs[1].flowInfo.at("bundleId"), "second.app");
    EXPECT_EQ(lists->runs[1].deadline, arrival + 55s);
    lists->runs[1].completion(ConnectionAlert::kNoAnswer);
    drain();
    EXPECT_EQ(lists->runs.size(), 2u);
    EXPECT_EQ(*log,
              (std::vector<std::string>{"record first.app allowed", "reply first.app allowed",
                                        "record second.app denied", "reply second.app denied",
                                        "record first.app allowed", "reply first.app allowed"}));
}

TEST_F(FlowDecisionPipelineTest, FlowsWaitingWhenThePipelineGoesAreLetThroughOnce) {
    auto pipeline = make(lists);
    cacheRussianServer(*pipeline);
    send(*pipeline, "shown.app");
    send(*pipeline, "waiting.app");
    drain();
    ASSERT_EQ(lists->runs.size(), 1u);
    pipeline.reset();
    EXPECT_EQ(*log, std::vector<std::string>{"reply waiting.app allowed"});
    // The open alert still answers its flow, which nothing records any more.
    lists->runs[0].completion(static_cast<int>(ConnectionAlertAnswer::denyThisConnection));
    drain();
    EXPECT_EQ(*log,
              (std::vector<std::string>{"reply waiting.app allowed", "reply shown.app denied"}));
}

}  // namespace
}  // namespace tarnwick::testing
