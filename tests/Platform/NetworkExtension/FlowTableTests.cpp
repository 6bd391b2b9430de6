#include "NetworkExtension/FlowTable.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Kind = FlowTable::Admission::Kind;
using Verdict = FlowTable::Verdict;

FlowTable::Key key(std::uint16_t sourcePort) {
    FlowTable::Key result;
    result.family = 2;
    result.protocol = 6;
    result.source = {10, 200, 1, 1};
    result.destination = {10, 200, 1, 2};
    result.sourcePort = sourcePort;
    result.destinationPort = 7000;
    return result;
}

class FlowTableTest : public ::testing::Test {
protected:
    // Admits a new connection and pauses it, as the filter does.
    void pause(std::uint16_t port, std::uint64_t flow, std::uint32_t packet) {
        ASSERT_EQ(m_table.admit(key(port), packet, m_now).kind, Kind::newFlow);
        m_table.begin(key(port), flow, packet, m_now);
        ASSERT_FALSE(m_table.settle(flow, NEFilterNewFlowVerdict::pauseVerdict(), m_now));
    }

    FlowTable::TimePoint m_now = FlowTable::Clock::now();
    FlowTable m_table{FlowTable::Limits{60s, 30s, 3, 100}};
};

TEST_F(FlowTableTest, RetransmittedFirstPacketJoinsItsFlowAndSharesItsVerdict) {
    pause(50000, 1, 100);
    EXPECT_EQ(m_table.admit(key(50000), 101, m_now + 1s).kind, Kind::joined);
    EXPECT_EQ(m_table.admit(key(50001), 102, m_now + 1s).kind, Kind::newFlow) << "another port";
    const auto release = m_table.resume(1, NEFilterNewFlowVerdict::dropVerdict(), m_now + 2s);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->packetIds, (std::vector<std::uint32_t>{100, 101}));
    EXPECT_EQ(release->verdict, Verdict::reject);
    EXPECT_FALSE(m_table.resume(1, NEFilterNewFlowVerdict::allowVerdict(), m_now + 3s))
        << "resumed once only";
}

TEST_F(FlowTableTest, AnsweredConnectionGetsTheSameAnswerUntilItIsForgotten) {
    pause(50000, 1, 100);
    m_table.resume(1, NEFilterNewFlowVerdict::allowVerdict(), m_now);
    const auto again = m_table.admit(key(50000), 103, m_now + 20s);
    EXPECT_EQ(again.kind, Kind::decided);
    EXPECT_EQ(again.verdict, Verdict::accept);
    EXPECT_EQ(m_table.admit(key(50000), 104, m_now + 49s).kind, Kind::decided)
        << "each sighting keeps it";
    EXPECT_EQ(m_table.admit(key(50000), 105, m_now + 80s).kind, Kind::newFlow);
}

TEST_F(FlowTableTest, FlowWithoutAnswerIsAllowedAfterThePauseLimit) {
    pause(50000, 1, 100);
    EXPECT_TRUE(m_table.expire(m_now + 59s).empty());
    const auto late = m_table.expire(m_now + 60s);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].verdict, Verdict::accept);
    EXPECT_EQ(late[0].packetIds, std::vector<std::uint32_t>{100});
    EXPECT_EQ(m_table.heldCount(), 0u);
    EXPECT_FALSE(m_table.resume(1, NEFilterNewFlowVerdict::dropVerdict(), m_now + 61s))
        << "a late answer changes nothing";
}

TEST_F(FlowTableTest, AnswerThatComesWhileTheFlowIsExaminedIsKept) {
    ASSERT_EQ(m_table.admit(key(50000), 100, m_now).kind, Kind::newFlow);
    m_table.begin(key(50000), 1, 100, m_now);
    EXPECT_FALSE(m_table.resume(1, NEFilterNewFlowVerdict::dropVerdict(), m_now));
    const auto release = m_table.settle(1, NEFilterNewFlowVerdict::pauseVerdict(), m_now);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->verdict, Verdict::reject);
    EXPECT_EQ(m_table.heldCount(), 0u);
}

TEST_F(FlowTableTest, ImmediateVerdictsReleaseAtOnce) {
    ASSERT_EQ(m_table.admit(key(50000), 100, m_now).kind, Kind::newFlow);
    m_table.begin(key(50000), 1, 100, m_now);
    const auto release = m_table.settle(1, NEFilterNewFlowVerdict::allowVerdict(), m_now);
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
