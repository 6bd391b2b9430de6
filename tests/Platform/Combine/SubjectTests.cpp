#include "Combine/AnyCancellable.h"
#include "Combine/CurrentValueSubject.h"
#include "Combine/PassthroughSubject.h"
#include "Combine/Published.h"
#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

TEST(PassthroughSubject, DeliversOnlyWhatIsSentWhileSubscribed) {
    PassthroughSubject<int> subject;
    subject.send(1);
    std::vector<int> received;
    auto token = subject.sink([&](int value) { received.push_back(value); });
    subject.send(2);
    subject.send(3);
    token.cancel();
    subject.send(4);
    EXPECT_EQ(received, (std::vector<int>{2, 3}));
}

TEST(PassthroughSubject, DestroyingTheTokenEndsTheSubscription) {
    PassthroughSubject<std::string> subject;
    int calls = 0;
    {
        auto token = subject.sink([&](const std::string&) { ++calls; });
        subject.send("a");
    }
    subject.send("b");
    EXPECT_EQ(calls, 1);
}

TEST(PassthroughSubject, ReceiverMayCancelItselfAndSendAgain) {
    PassthroughSubject<int> subject;
    std::vector<int> first;
    std::vector<int> second;
    AnyCancellable firstToken;
    firstToken = subject.sink([&](int value) {
        first.push_back(value);
        firstToken.cancel();
        if (value == 1) {
            subject.send(2);  // re-entrant send from a receiver
        }
    });
    auto secondToken = subject.sink([&](int value) { second.push_back(value); });
    subject.send(1);
    subject.send(3);
    EXPECT_EQ(first, std::vector<int>{1});
    EXPECT_EQ(second, (std::vector<int>{2, 1, 3}));
}

TEST(PassthroughSubject, CancelReturnsOnlyOnceADeliveryOnAnotherThreadHasFinished) {
    PassthroughSubject<int> subject;
    std::latch entered(1);
    std::latch release(1);
    std::atomic<bool> receiverDone{false};
    auto token = subject.sink([&](int) {
        entered.count_down();
        release.wait();
        receiverDone = true;
    });
    std::thread sender([&] { subject.send(1); });
    entered.wait();
    std::atomic<bool> doneWhenCancelled{false};
    std::latch cancelling(1);
    std::thread canceller([&] {
        cancelling.count_down();
        token.cancel();
        doneWhenCancelled = receiverDone.load();
    });
    cancelling.wait();
    // A cancel that waits shows nothing while it waits, so a fixed moment gives one that does not
    // wait the chance to return first.
    std::this_thread::sleep_for(20ms);
    release.count_down();
    canceller.join();
    sender.join();
    EXPECT_TRUE(doneWhenCancelled);
}

TEST(PassthroughSubject, TokenMayOutliveTheSubject) {
    AnyCancellable token;
    {
        PassthroughSubject<int> subject;
        token = subject.sink([](int) {});
    }
    token.cancel();
    SUCCEED();
}

TEST(PassthroughSubject, ConcurrentSendersAndSubscribersLoseNothing) {
    PassthroughSubject<int> subject;
    std::atomic<int> sum{0};
    auto token = subject.sink([&](int value) { sum += value; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        // Subscribes and cancels all the time while values fly.
        while (!stop) {
            auto transient = subject.sink([](int) {});
        }
    });
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                subject.send(1);
            }
        });
    }
    for (auto& sender : senders) {
        sender.join();
    }
    stop = true;
    churn.join();
    EXPECT_EQ(sum.load(), 8000);
}

TEST(CurrentValueSubject, NewSubscriberGetsTheCurrentValueFirst) {
    CurrentValueSubject<std::string> subject("initial");
    subject.send("second");
    std::vector<std::string> received;
    auto token = subject.sink([&](const std::string& value) { received.push_back(value); });
    subject.send("third");
    EXPECT_EQ(received, (std::vector<std::string>{"second", "third"}));
    EXPECT_EQ(subject.value(), "third");
}

TEST(Published, EverySetIsPublishedAfterItIsStored) {
    Published<int> count(5);
    std::vector<int> received;
    std::vector<int> readBack;
    auto token = count.publisher().sink([&](int value) {
        received.push_back(value);
        readBack.push_back(count.get());
    });
    count = 6;
    count.set(6);
    EXPECT_EQ(received, (std::vector<int>{5, 6, 6}));
    EXPECT_EQ(readBack, received);
}

TEST(ReceiveOn, DeliversOnTheMainQueueInOrder) {
    PassthroughSubject<int> subject;
    std::vector<int> received;
    bool allOnMain = true;
    auto token = subject.receive(DispatchQueue::main()).sink([&](int value) {
        allOnMain = allOnMain && isMainThread();
        received.push_back(value);
    });
    std::thread sender([&] {
        for (int i = 0; i < 100; ++i) {
            subject.send(i);
        }
    });
    sender.join();
    EXPECT_TRUE(received.empty());  // nothing arrives before the main queue runs
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return received.size() == 100; }, 10s));
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(received[static_cast<std::size_t>(i)], i);
    }
}

TEST(ReceiveOn, CancellingDropsValuesStillWaitingInTheQueue) {
    CurrentValueSubject<int> subject(0);
    std::vector<int> received;
    auto token =
        subject.receive(DispatchQueue::main()).sink([&](int value) { received.push_back(value); });
    subject.send(1);
    token.cancel();
    bool drained = false;
    DispatchQueue::main()->async([&] { drained = true; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return drained; }, 10s));
    EXPECT_TRUE(received.empty());
}

}  // namespace
}  // namespace tarnwick
