#include "Dispatch/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

TEST(WorkerPool, StopRunsWhatIsQueuedAndWhatItPostsThenJoinsAndDropsLaterWork) {
    WorkerPool pool;
    std::promise<void> started;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<int> ran = 0;
    pool.submit([&, released] {
        started.set_value();
        released.wait();
        // Posted while the pool is stopping: it still runs, on a worker that is still there.
        pool.submit([&] { ++ran; });
        ++ran;
    });
    started.get_future().wait();
    for (int index = 0; index < 3; ++index) {
        pool.submit([&] { ++ran; });
    }
    auto stopping = std::async(std::launch::async, [&] { return pool.stop(); });
    EXPECT_EQ(stopping.wait_for(50ms), std::future_status::timeout);  // a job is still running
    release.set_value();
    EXPECT_TRUE(stopping.get());
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(pool.threadCount(), 0U);

    auto state = std::make_shared<int>(0);
    pool.submit([state] { ++*state; });
    EXPECT_EQ(state.use_count(), 1);  // released at once, never run
    EXPECT_EQ(*state, 0);
    EXPECT_TRUE(pool.stop());
}

TEST(WorkerPool, StopGivesUpAfterItsLimitAndNeverWaitsForItsOwnWorker) {
    WorkerPool pool;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::promise<bool> fromJob;
    pool.submit([&, released] {
        fromJob.set_value(pool.stop(10s));
        released.wait();
    });
    EXPECT_FALSE(fromJob.get_future().get());
    EXPECT_FALSE(pool.stop(20ms));
    release.set_value();
    EXPECT_TRUE(pool.stop());
    EXPECT_EQ(pool.threadCount(), 0U);
}

}  // namespace
}  // namespace tarnwick
