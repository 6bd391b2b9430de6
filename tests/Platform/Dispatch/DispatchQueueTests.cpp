#include "Dispatch/DispatchGroup.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DispatchWorkItem.h"
#include "Dispatch/MainQueuePrecondition.h"
#include "Dispatch/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

TEST(DispatchQueue, SerialQueueRunsBlocksOneAtATimeInOrder) {
    auto queue = DispatchQueue::create("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    DispatchGroup group;
    for (int i = 0; i < 200; ++i) {
        queue->async(group, [&, i] {
            if (running.fetch_add(1) != 0) {
                overlapped = true;
            }
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    ASSERT_TRUE(group.wait(10s));
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(DispatchQueue, ConcurrentQueueRunsBlocksSideBySide) {
    auto queue = DispatchQueue::create("test.concurrent", QualityOfService::userInitiated,
                                       DispatchQueue::Attributes::concurrent);
    // Both blocks must be running at once for either to pass the latch.
    std::latch bothStarted(2);
    DispatchGroup group;
    for (int i = 0; i < 2; ++i) {
        queue->async(group, [&] { bothStarted.arrive_and_wait(); });
    }
    EXPECT_TRUE(group.wait(10s));
}

TEST(DispatchQueue, LabelsNameTheRunningQueue) {
    auto queue = DispatchQueue::create("test.label");
    EXPECT_EQ(DispatchQueue::currentLabel(), std::nullopt);
    EXPECT_EQ(queue->sync([] { return DispatchQueue::currentLabel(); }), "test.label");
    EXPECT_FALSE(queue->isCurrent());
    EXPECT_TRUE(queue->sync([&] { return queue->isCurrent(); }));
}

TEST(DispatchQueue, SyncReturnsTheBlockResultAndPassesOnItsException) {
    auto queue = DispatchQueue::create("test.sync");
    EXPECT_EQ(queue->sync([] { return 42; }), 42);
    EXPECT_THROW(queue->sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    // The queue still works after a block threw.
    EXPECT_EQ(queue->sync([] { return 7; }), 7);
}

TEST(DispatchQueue, SyncWaitsForWorkQueuedBeforeIt) {
    auto queue = DispatchQueue::create("test.sync-order");
    std::latch release{1};
    std::atomic<bool> earlierDone{false};
    queue->async([&] {
        release.wait();
        earlierDone = true;
    });
    // The earlier block is held until the test lets it go, while the sync below is on its way.
    std::thread releaser([&] { release.count_down(); });
    EXPECT_TRUE(queue->sync([&] { return earlierDone.load(); }));
    releaser.join();
}

TEST(DispatchQueue, SyncIntoAQueueThisThreadHoldsRunsInPlace) {
    auto a = DispatchQueue::create("test.a");
    auto b = DispatchQueue::create("test.b");
    // a -> a, and a -> b -> a, would wait for themselves if they were queued.
    const int result = a->sync([&] {
        const int inner = a->sync([] { return 1; });
        return inner + b->sync([&] { return a->sync([] { return 2; }); });
    });
    EXPECT_EQ(result, 3);
}

TEST(DispatchQueue, SyncFromAnotherQueueInheritsItsHeldQueues) {
    auto a = DispatchQueue::create("test.inherit-a");
    auto b = DispatchQueue::create("test.inherit-b");
    // Keep b busy so the sync below has to be queued and run by b's worker; the test lets b go
    // once the outer block holds a.
    std::latch busy{1};
    std::latch holdsA{1};
    std::latch release{1};
    b->async([&] {
        busy.count_down();
        release.wait();
    });
    busy.wait();
    std::thread releaser([&] {
        holdsA.wait();
        release.count_down();
    });
    const bool ran = a->sync([&] {
        holdsA.count_down();
        return b->sync([&] { return a->sync([] { return true; }); });
    });
    releaser.join();
    EXPECT_TRUE(ran);
}

TEST(DispatchQueue, CancelledWorkItemDoesNotRun) {
    auto queue = DispatchQueue::create("test.items");
    std::atomic<int> ran{0};
    auto kept = std::make_shared<DispatchWorkItem>([&] { ran += 1; });
    auto cancelled = std::make_shared<DispatchWorkItem>([&] { ran += 10; });
    cancelled->cancel();
    queue->async(kept);
    queue->async(cancelled);
    queue->sync([] {});
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(cancelled->isCancelled());
}

TEST(DispatchGroup, WaitIsBoundedAndNotifyRunsOnceEmpty) {
    DispatchGroup group;
    EXPECT_TRUE(group.wait(0s));
    group.enter();
    EXPECT_FALSE(group.wait(30ms));

    auto queue = DispatchQueue::create("test.notify");
    std::atomic<bool> notified{false};
    group.notify(queue, [&] { notified = true; });
    EXPECT_FALSE(notified);
    group.leave();
    EXPECT_TRUE(group.wait(1s));
    queue->sync([] {});
    EXPECT_TRUE(notified);
}

TEST(MainQueue, RunsOnTheMainThreadWhenTheRunLoopDrainsIt) {
    ASSERT_TRUE(isMainThread());
    std::atomic<bool> ranOnMain{false};
    std::thread poster([&] { DispatchQueue::main()->async([&] { ranOnMain = isMainThread(); }); });
    poster.join();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return ranOnMain.load(); }, 5s));
}

TEST(MainQueue, SyncFromTheMainThreadRunsInPlace) {
    EXPECT_EQ(DispatchQueue::main()->sync([] { return isMainThread(); }), true);
}

TEST(MainQueue, SyncFromAnotherThreadWaitsForTheMainThread) {
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = DispatchQueue::main()->sync([] { return 5; }); });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return answer.load() == 5; }, 5s));
    worker.join();
}

TEST(RunLoop, RunUntilGivesUpAtTheDeadline) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(RunLoop, StopEndsRun) {
    // Stopped from another thread once the loop is running, as shown by a block it ran.
    std::latch running{1};
    DispatchQueue::main()->async([&] { running.count_down(); });
    std::thread stopper([&] {
        running.wait();
        RunLoop::main().stop();
    });
    RunLoop::main().run();
    stopper.join();
}

#ifndef NDEBUG
TEST(MainQueuePrecondition, PassesOnTheMainThreadAndStopsAnyOtherCaller) {
    dispatchPreconditionOnMain();
    EXPECT_DEATH(
        {
            std::thread worker([] { dispatchPreconditionOnMain(); });
            worker.join();
        },
        "runs off the main queue");
}
#endif

}  // namespace
}  // namespace tarnwick
