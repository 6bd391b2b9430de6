#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "Foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

TEST(NotificationCenter, DeliversByNameWithTheObject) {
    NotificationCenter center;
    std::vector<int> received;
    auto token = center.addObserver("switchScreen", nullptr, [&](const Notification& note) {
        received.push_back(std::any_cast<int>(note.object));
    });
    center.post("switchScreen", 2);
    center.post("somethingElse", 3);
    EXPECT_EQ(received, std::vector<int>{2});
}

TEST(NotificationCenter, ObserverOnTheMainQueueGetsItThere) {
    NotificationCenter center;
    bool onMain = false;
    auto token = center.addObserver("toggle", DispatchQueue::main(),
                                    [&](const Notification&) { onMain = isMainThread(); });
    std::thread poster([&] { center.post("toggle"); });
    poster.join();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return onMain; }, 5s));
}

TEST(NotificationCenter, RemovedObserverGetsNothingEvenWhenAlreadyQueued) {
    NotificationCenter center;
    int calls = 0;
    auto token =
        center.addObserver("tick", DispatchQueue::main(), [&](const Notification&) { ++calls; });
    std::thread poster([&] { center.post("tick"); });
    poster.join();
    center.removeObserver(token);  // the delivery is queued on the main queue already
    RunLoop::main().runFor(10ms);
    center.post("tick");
    EXPECT_EQ(calls, 0);
}

TEST(NotificationCenter, AnObserverMayRemoveItselfWhileBeingNotified) {
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::ObserverToken token;
    token = center.addObserver("once", nullptr, [&](const Notification&) {
        ++calls;
        center.removeObserver(token);
    });
    center.post("once");
    center.post("once");
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tarnwick
