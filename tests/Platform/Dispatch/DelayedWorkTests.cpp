#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DispatchWorkItem.h"
#include "Dispatch/ManualScheduler.h"
#include "Dispatch/RunLoop.h"
#include "Dispatch/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

void drainMainQueue() {
    RunLoop::main().runFor(0ms);
}

TEST(DelayedWork, FiresWhenTheManualClockPassesItsDeadline) {
    ManualScheduler scheduler;
    std::vector<int> fired;
    DispatchQueue::main()->asyncAfter(
        2s, [&] { fired.push_back(2); }, scheduler);
    DispatchQueue::main()->asyncAfter(
        1s, [&] { fired.push_back(1); }, scheduler);

    scheduler.advance(999ms);
    drainMainQueue();
    EXPECT_TRUE(fired.empty());

    scheduler.advance(1ms);
    drainMainQueue();
    EXPECT_EQ(fired, std::vector<int>{1});

    scheduler.advance(5s);
    drainMainQueue();
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(DelayedWork, CancelledItemNeverRuns) {
    ManualScheduler scheduler;
    bool ran = false;
    auto item = std::make_shared<DispatchWorkItem>([&] { ran = true; });
    DispatchQueue::main()->asyncAfter(1s, item, scheduler);
    item->cancel();
    scheduler.advance(2s);
    drainMainQueue();
    EXPECT_FALSE(ran);
}

TEST(DelayedWork, SystemSchedulerFiresInRealTime) {
    std::atomic<bool> fired{false};
    DispatchQueue::main()->asyncAfter(10ms, [&] { fired = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return fired.load(); }, 5s));
}

TEST(Timer, RepeatsUntilInvalidated) {
    ManualScheduler scheduler;
    int ticks = 0;
    auto timer = Timer::scheduledTimer(
        100ms, true,
        [&](Timer& self) {
            if (++ticks == 3) {
                self.invalidate();
            }
        },
        DispatchQueue::main(), scheduler);
    for (int step = 0; step < 10; ++step) {
        scheduler.advance(100ms);
        drainMainQueue();
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST(Timer, OneShotFiresOnceAndBecomesInvalid) {
    ManualScheduler scheduler;
    int ticks = 0;
    auto timer = Timer::scheduledTimer(
        50ms, false, [&](Timer&) { ++ticks; }, DispatchQueue::main(), scheduler);
    scheduler.advance(1s);
    drainMainQueue();
    scheduler.advance(1s);
    drainMainQueue();
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST(Timer, FiringByHandKeepsTheRepeatingSchedule) {
    ManualScheduler scheduler;
    int ticks = 0;
    auto timer = Timer::scheduledTimer(
        100ms, true, [&](Timer&) { ++ticks; }, DispatchQueue::main(), scheduler);
    timer->fire();
    EXPECT_EQ(ticks, 1);
    scheduler.advance(100ms);
    drainMainQueue();
    EXPECT_EQ(ticks, 2);
    timer->invalidate();
    timer->fire();
    EXPECT_EQ(ticks, 2);
}

TEST(Timer, InvalidatedBeforeItsFirstTickNeverFires) {
    ManualScheduler scheduler;
    int ticks = 0;
    auto timer = Timer::scheduledTimer(
        50ms, true, [&](Timer&) { ++ticks; }, DispatchQueue::main(), scheduler);
    timer->invalidate();
    scheduler.advance(1s);
    drainMainQueue();
    EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace tarnwick
