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

TEST(DelayedWork, TasksWithOneDeadlineFireInTheOrderTheyCame) {
    ManualScheduler scheduler;
    std::vector<int> fired;
    const auto start = scheduler.now();
    for (int i = 0; i < 20; ++i) {
        // Two deadlines, interleaved, so the heap has to reorder.
        scheduler.schedule(start + (i % 2 == 0 ? 2s : 1s), [&fired, i] { fired.push_back(i); });
    }
    // A task that schedules another within the advanced window sees it fire too.
    scheduler.schedule(start + 1500ms, [&] {
        scheduler.schedule(scheduler.now() + 100ms, [&] { fired.push_back(100); });
    });
    scheduler.advance(3s);
    const std::vector<int> expected = {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 100,
                                       0, 2, 4, 6, 8, 10, 12, 14, 16, 18};
    EXPECT_EQ(fired, expected);
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
