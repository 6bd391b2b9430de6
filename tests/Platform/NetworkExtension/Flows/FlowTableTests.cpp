#include "NetworkExtension/Flows/FlowTable.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Kind = FlowTable::Admission::Kind;
using Verdict = FlowTable::Verdict;

FlowTable::Key key(std::uint16_t sourcePort, std::uint64_t instance = 7) {
    FlowTable::Key result;
    result.family = 2;
    result.protocol = 6;
    result.source = {10, 200, 1, 1};
    result.destination = {10, 200, 1, 2};
    result.sourcePort = sourcePort;
    result.destinationPort = 7000;
    result.instance = instance;
    return result;
}

class FlowTableTest : public ::testing::Test {
protected:
    // Admits a new connection and pauses it, as the filter does.
    void pause(std::uint16_t port, std::uint64_t flow, std::uint32_t packet) {
        ASSERT_EQ(m_table.admit(key(port), packet, m_now).kind, Kind::newFlow);
        m_table.begin(key(port), {}, flow, packet, m_now);
        ASSERT_FALSE(m_table.settle(flow, std::nullopt, m_now));
    }

    FlowTable::TimePoint m_now = FlowTable::Clock::now();
    FlowTable m_table{FlowTable::Limits{60s, 30s, 3, 100, 2, 3, 4}};
};

TEST_F(FlowTableTest, RetransmittedFirstPacketJoinsItsFlowAndSharesItsVerdict) {
    pause(50000, 1, 100);
    EXPECT_EQ(m_table.admit(key(50000), 101, m_now + 1s).kind, Kind::joined);
    EXPECT_EQ(m_table.admit(key(50001), 102, m_now + 1s).kind, Kind::newFlow) << "another port";
    const auto release = m_table.resume(1, Verdict::reject, m_now + 2s);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->packetIds, (std::vector<std::uint32_t>{100, 101}));
    EXPECT_EQ(release->verdict, Verdict::reject);
    EXPECT_FALSE(m_table.resume(1, Verdict::accept, m_now + 3s)) << "resumed once only";
}

TEST_F(FlowTableTest, AnswerAppliesToTheSameConnectionOnlyAndForAFixedTime) {
    pause(50000, 1, 100);
    ASSERT_TRUE(m_table.resume(1, Verdict::accept, m_now));
    const auto again = m_table.admit(key(50000), 103, m_now + 20s);
    EXPECT_EQ(again.kind, Kind::decided);
    EXPECT_EQ(again.verdict, Verdict::accept);
    EXPECT_EQ(m_table.admit(key(50000, 8), 104, m_now + 21s).kind, Kind::newFlow)
        << "a new connection on the same ports is asked about";
    EXPECT_EQ(m_table.admit(key(50000), 105, m_now + 29s).kind, Kind::decided);
    EXPECT_EQ(m_table.admit(key(50000), 106, m_now + 31s).kind, Kind::newFlow)
        << "use does not make it last longer";
}

TEST_F(FlowTableTest, ConnectionWithoutAnInstanceIsNeverAnsweredFromMemory) {
    ASSERT_EQ(m_table.admit(key(50000, 0), 100, m_now).kind, Kind::newFlow);
    m_table.begin(key(50000, 0), {}, 1, 100, m_now);
    ASSERT_TRUE(m_table.settle(1, Verdict::reject, m_now));
    EXPECT_EQ(m_table.admit(key(50000, 0), 101, m_now + 1s).kind, Kind::newFlow);
}

TEST_F(FlowTableTest, HeldFlowsAreBoundedPerProcessPerUserAndInAll) {
    // Limits: 2 per process, 3 per user, 4 in all.
    std::uint64_t flow = 1;
    const auto hold = [&](FlowTable::Origin origin) {
        m_table.begin(key(static_cast<std::uint16_t>(40000 + flow)), origin, flow, 0, m_now);
        ++flow;
    };
    hold({10, 1000});
    EXPECT_TRUE(m_table.hasRoomFor({10, 1000}));
    hold({10, 1000});
    EXPECT_FALSE(m_table.hasRoomFor({10, 1000})) << "per process";
    EXPECT_TRUE(m_table.hasRoomFor({11, 1000}));
    hold({11, 1000});
    EXPECT_FALSE(m_table.hasRoomFor({12, 1000})) << "per user";
    EXPECT_TRUE(m_table.hasRoomFor({20, 2000}));
    hold({20, 2000});
    EXPECT_FALSE(m_table.hasRoomFor({30, 3000})) << "in all";
    ASSERT_TRUE(m_table.settle(1, Verdict::accept, m_now));
    EXPECT_TRUE(m_table.hasRoomFor({10, 1000})) << "a released flow frees its place";
}

TEST_F(FlowTableTest, FlowsOfUnknownProcessesCountAgainstTheirUserOnly) {
    // Limits: 2 per process, 3 per user, 4 in all.
    for (std::uint64_t flow = 1; flow <= 3; ++flow) {
        ASSERT_TRUE(m_table.hasRoomFor({0, 1000})) << "flow " << flow;
        m_table.begin(key(static_cast<std::uint16_t>(40000 + flow)), {0, 1000}, flow, 0, m_now);
    }
    EXPECT_FALSE(m_table.hasRoomFor({0, 1000})) << "per user";
    EXPECT_TRUE(m_table.hasRoomFor({0, 2000})) << "another user's unknown processes";
}

TEST_F(FlowTableTest, FlowWithoutAnswerIsAllowedAfterThePauseLimit) {
    pause(50000, 1, 100);
    EXPECT_TRUE(m_table.expire(m_now + 59s).empty());
    const auto late = m_table.expire(m_now + 60s);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].verdict, Verdict::accept);
    EXPECT_EQ(late[0].packetIds, std::vector<std::uint32_t>{100});
    EXPECT_EQ(m_table.heldCount(), 0u);
    EXPECT_FALSE(m_table.resume(1, Verdict::reject, m_now + 61s))
        << "a late answer changes nothing";
}

TEST_F(FlowTableTest, AnswerThatComesWhileTheFlowIsExaminedIsKept) {
    ASSERT_EQ(m_table.admit(key(50000), 100, m_now).kind, Kind::newFlow);
    m_table.begin(key(50000), {}, 1, 100, m_now);
    EXPECT_FALSE(m_table.resume(1, Verdict::reject, m_now));
    const auto release = m_table.settle(1, std::nullopt, m_now);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->verdict, Verdict::reject);
    EXPECT_EQ(m_table.heldCount(), 0u);
}

TEST_F(FlowTableTest, ImmediateVerdictsReleaseAtOnce) {
    ASSERT_EQ(m_table.admit(key(50000), 100, m_now).kind, Kind::newFlow);
    m_table.begin(key(50000), {}, 1, 100, m_now);
    const auto release = m_table.settle(1, Verdict::accept, m_now);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->verdict, Verdict::accept);
}

TEST_F(FlowTableTest, WaitingFlowHoldsABoundedNumberOfPackets) {
    pause(50000, 1, 100);
    EXPECT_EQ(m_table.admit(key(50000), 101, m_now).kind, Kind::joined);
    EXPECT_EQ(m_table.admit(key(50000), 102, m_now).kind, Kind::joined);
    EXPECT_EQ(m_table.admit(key(50000), 103, m_now).kind, Kind::overflow);
}

TEST_F(FlowTableTest, StoppingReleasesEveryHeldFlow) {
    pause(50000, 1, 100);
    pause(50001, 2, 200);
    auto releases = m_table.releaseAll();
    ASSERT_EQ(releases.size(), 2u);
    for (const auto& release : releases) {
        EXPECT_EQ(release.verdict, Verdict::accept);
    }
    EXPECT_EQ(m_table.heldCount(), 0u);
}

}  // namespace
}  // namespace tarnwick
