#include "NetworkExtension/Provider/UserFairQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

TEST(UserFairQueue, EachUserWaitsBehindAtMostOneItemOfEachOtherUser) {
    std::mutex mutex;
    std::vector<std::string> order;
    std::promise<void> open;
    std::promise<void> allDone;
    UserFairQueue queue;
    const auto record = [&](const std::string& name) {
        return [&, name] {
            std::lock_guard lock(mutex);
            order.push_back(name);
            if (order.size() == 8) {
                allDone.set_value();
            }
        };
    };
    // The first item holds the thread while the rest queue up.
    queue.post(1, [&, gate = open.get_future().share()] {
        gate.wait();
        record("a0")();
    });
    for (int i = 1; i <= 5; ++i) {
        queue.post(1, record("a" + std::to_string(i)));
    }
    queue.post(3, record("c1"));
    queue.post(2, record("b1"));
    open.set_value();
    allDone.get_future().wait();
    EXPECT_EQ(order, (std::vector<std::string>{"a0", "b1", "c1", "a1", "a2", "a3", "a4", "a5"}));
}

TEST(UserFairQueue, WithSeveralThreadsAUserTakesOneAtATimeInOrder) {
    // User 1's first item holds a thread; user 2's items run on the other meanwhile, and user 1's
    // next items wait for the first, in order.
    std::mutex mutex;
    std::vector<std::string> order;
    std::promise<void> open;
    std::promise<void> otherDone;
    std::promise<void> allDone;
    UserFairQueue queue(2);
    const auto record = [&](const std::string& name) {
        std::lock_guard lock(mutex);
        order.push_back(name);
    };
    queue.post(1, [&, gate = open.get_future().share()] {
        gate.wait();
        record("a0");
    });
    for (int i = 1; i <= 3; ++i) {
        queue.post(1, [&, i] {
            record("a" + std::to_string(i));
            if (i == 3) {
                allDone.set_value();
            }
        });
    }
    queue.post(2, [&] { record("b1"); });
    queue.post(2, [&] {
        record("b2");
        otherDone.set_value();
    });
    otherDone.get_future().wait();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(order, (std::vector<std::string>{"b1", "b2"})) << "not behind user 1's item";
    }
    open.set_value();
    allDone.get_future().wait();
    EXPECT_EQ(order, (std::vector<std::string>{"b1", "b2", "a0", "a1", "a2", "a3"}));
}

TEST(UserFairQueue, StopDropsTheWaitingItemsAndWaitsOnlyForTheOneThatRuns) {
    std::atomic<int> ran{0};
    std::promise<void> running;
    // Opened as the waiting items are dropped: the running item ends only after stop began.
    auto open = std::make_shared<std::promise<void>>();
    auto gate = open->get_future().share();
    struct OpensOnDrop {
        std::shared_ptr<std::promise<void>> gate;
        ~OpensOnDrop() {
            if (gate) {
                gate->set_value();
            }
        }
    };
    UserFairQueue queue;
    queue.post(1, [&] {
        running.set_value();
        // Bounded, so a queue that never drops fails here instead of hanging.
        gate.wait_for(std::chrono::seconds(5));
        ++ran;
    });
    auto guard = std::make_shared<OpensOnDrop>();
    guard->gate = std::move(open);
    for (uid_t user = 1; user <= 6; ++user) {
        queue.post(user, [&ran, guard] { ++ran; });
    }
    guard.reset();
    running.get_future().wait();

    queue.stop();
    EXPECT_EQ(ran, 1) << "only the item that ran when stop came";
    queue.post(1, [&] { ++ran; });
    EXPECT_EQ(ran, 1) << "nothing runs after stop";
}

}  // namespace
}  // namespace tarnwick
