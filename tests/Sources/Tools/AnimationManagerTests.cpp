#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Tools/AnimationManager.h"
#include "Tools/AnimationQueue.h"
#include "Tools/AnimationSequence.h"
#include "Tools/AnimationSequenceCollectionType.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

class TestCollection final : public AnimationSequenceCollectionType {
public:
    TestCollection(std::optional<AnimationSequence> idle, std::optional<AnimationSequence> idleScan)
        : m_idle(std::move(idle)), m_idleScan(std::move(idleScan)) {}

    std::string sequence() const override { return "Test"; }
    std::optional<AnimationSequence> idle() const override { return m_idle; }
    std::optional<AnimationSequence> idleScan() const override { return m_idleScan; }
    AnimationSequence makeSequence(std::function<void()> completion) const override {
        return AnimationSequence("Test", {"T1"}, 1, std::move(completion));
    }

private:
    std::optional<AnimationSequence> m_idle;
    std::optional<AnimationSequence> m_idleScan;
};

const AnimationSequence kIdle("Idle", {"i0", "i1"}, 1);
const AnimationSequence kScan("Scan", {"s0", "s1"}, 0.5);

class AnimationTest : public ::testing::Test {
protected:
    std::shared_ptr<AnimationQueue> makeQueue(std::optional<AnimationSequence> idle = kIdle,
                                              std::optional<AnimationSequence> scan = kScan,
                                              std::optional<ScanState> state = ScanState::standBy) {
        return std::make_shared<AnimationQueue>(
            std::make_shared<TestCollection>(std::move(idle), std::move(scan)), state);
    }

    // Starts the manager's timer the way the mascot managers do and records the frames.
    void start(const std::shared_ptr<AnimationQueue>& queue) {
        m_manager->setAnimationQueue(queue);
        m_manager->setAnimationTimer(m_manager->startTimer(
            queue, [this](const std::string& frame) { m_frames.push_back(frame); }));
    }

    // Moves the clock and runs the ticks that came due.
    void advance(std::chrono::milliseconds by) {
        m_scheduler.advance(by);
        RunLoop::main().runFor(0ms);
    }

    ManualScheduler m_scheduler;
    std::shared_ptr<AnimationManager> m_manager = std::make_shared<AnimationManager>(m_scheduler);
    std::vector<std::string> m_frames;
};

TEST_F(AnimationTest, QueueWithoutCurrentSequenceStartsNoTimer) {
    auto queue = makeQueue(std::nullopt);
    EXPECT_FALSE(queue->currentAnimation().has_value());
    start(queue);
    EXPECT_EQ(m_manager->animationTimer(), nullptr);
    EXPECT_EQ(m_scheduler.pendingCount(), 0u);
}

TEST_F(AnimationTest, FramesFromIndexOneThenAWrapTickThenTheNextSequence) {
    int firstDone = 0;
    int secondDone = 0;
    auto queue = makeQueue();
    const AnimationSequence first("First", {"f0", "f1", "f2"}, 0.04, [&] { ++firstDone; });
    const AnimationSequence second("Second", {"g0", "g1"}, 0.1, [&] { ++secondDone; });
    queue->queue() = {first, second};
    queue->setCurrentAnimation(first);
    start(queue);

    advance(40ms);
    advance(40ms);
    EXPECT_EQ(m_frames, (std::vector<std::string>{"f1", "f2"}));
    EXPECT_EQ(m_manager->currentFrame(), "f2");
    advance(40ms);  // the wrap: no frame, the second sequence becomes current
    EXPECT_EQ(m_frames.size(), 2u);
    EXPECT_EQ(firstDone, 1);
    EXPECT_EQ(queue->currentAnimation()->name(), "Second");
    EXPECT_EQ(m_manager->frameIndex(), 0);
    advance(40ms);  // the new timer runs at the second sequence's rate
    EXPECT_EQ(m_frames.size(), 2u);
    advance(60ms);
    EXPECT_EQ(m_frames.back(), "g1");

    // The last sequence leaves the list once; afterwards it repeats without its completion.
    for (int tick = 0; tick < 6; ++tick) {
        advance(100ms);
    }
    EXPECT_EQ(secondDone, 1);
    EXPECT_EQ(firstDone, 1);
    EXPECT_TRUE(queue->queue().empty());
    EXPECT_EQ(queue->currentAnimation()->name(), "Second");
    EXPECT_EQ(m_frames, (std::vector<std::string>{"f1", "f2", "g1", "g1", "g1", "g1"}));
}

TEST_F(AnimationTest, SingleFrameSequenceIsAPause) {
    auto queue = makeQueue();
    const AnimationSequence pause("Pause", {"p0"}, 2);
    queue->setCurrentAnimation(pause);
    start(queue);
    for (int tick = 0; tick < 5; ++tick) {
        advance(2s);
    }
    EXPECT_TRUE(m_frames.empty());
    EXPECT_EQ(m_scheduler.pendingCount(), 1u);  // one timer, restarted at each wrap
}

TEST_F(AnimationTest, StartingTheTimerKeepsTheFrameIndex) {
    auto queue = makeQueue();
    queue->setCurrentAnimation(AnimationSequence("Long", {"a", "b", "c", "d"}, 1));
    m_manager->setFrameIndex(1);
    start(queue);
    advance(1s);
    EXPECT_EQ(m_frames, std::vector<std::string>{"c"});

    // A shorter sequence started at an index past its last frame wraps at its first tick.
    queue->setCurrentAnimation(AnimationSequence("Short", {"x", "y"}, 1));
    start(queue);
    advance(1s);
    EXPECT_EQ(m_frames.size(), 1u);
    EXPECT_EQ(m_manager->frameIndex(), 0);
    advance(1s);
    EXPECT_EQ(m_frames.back(), "y");
}

TEST_F(AnimationTest, StartingAgainReplacesTheRunningTimer) {
    auto queue = makeQueue();
    start(queue);
    const auto firstTimer = m_manager->animationTimer();
    start(queue);
    EXPECT_FALSE(firstTimer->isValid());
    advance(1s);
    EXPECT_EQ(m_frames, std::vector<std::string>{"i1"});  // one tick, not two
}

TEST_F(AnimationTest, TicksAfterTheManagerIsGoneDoNothing) {
    auto queue = makeQueue();
    start(queue);
    const auto timer = m_manager->animationTimer();
    m_manager.reset();
    advance(1s);
    advance(1s);
    EXPECT_TRUE(m_frames.empty());
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(m_scheduler.pendingCount(), 0u);
}

TEST_F(AnimationTest, RateWithoutATimeSpanStillLetsTheTimerRest) {
    auto queue = makeQueue();
    for (const double rate : {0.0, -1.0, std::nan("")}) {
        queue->setCurrentAnimation(AnimationSequence("Zero", {"z0", "z1"}, rate));
        start(queue);
        EXPECT_GE(m_manager->animationTimer()->timeInterval(), 100us) << rate;
    }
}

TEST_F(AnimationTest, ResetChoosesTheDefaultForTheScanState) {
    struct Case {
        std::optional<ScanState> state;
        const char* expected;
    };
    for (const Case& testCase : {Case{ScanState::active, "Scan"}, Case{ScanState::standBy, "Idle"},
                                 Case{ScanState::done, "Idle"}, Case{std::nullopt, "Idle"}}) {
        auto queue = makeQueue(kIdle, kScan, testCase.state);
        queue->queue() = {AnimationSequence("Other", {}, 1), AnimationSequence("More", {}, 1)};
        const auto chosen = queue->resetToDefaultSequence();
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->name(), testCase.expected);
        ASSERT_EQ(queue->queue().size(), 1u);
        EXPECT_EQ(queue->queue()[0].name(), testCase.expected);
        EXPECT_EQ(queue->currentAnimation()->name(), "Idle");  // not changed by the reset
    }

    auto withoutScan = makeQueue(kIdle, std::nullopt, ScanState::active);
    withoutScan->queue() = {AnimationSequence("Other", {}, 1)};
    EXPECT_FALSE(withoutScan->resetToDefaultSequence().has_value());
    ASSERT_EQ(withoutScan->queue().size(), 1u);
    EXPECT_EQ(withoutScan->queue()[0].name(), "Other");
}

TEST(AnimationSequence, IdentityIsTheName) {
    const AnimationSequence a("Blink", {"1", "2"}, 0.04);
    const AnimationSequence b("Blink", {"3"}, 2, [] {});
    const AnimationSequence c("Idle", {"1", "2"}, 0.04);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    const std::unordered_set<AnimationSequence> set{a, b, c};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace tarnwick
