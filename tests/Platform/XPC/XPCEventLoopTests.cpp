#include "Foundation/FileDescriptor.h"
#include "XPC/XPCEventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sys/socket.h>
#include <thread>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

std::ptrdiff_t threadCount() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 500 && !condition(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

// Watches one end of a socket pair until it is told to stop.
class HeldWatch final : public XPCEventLoop::Handler {
public:
    explicit HeldWatch(std::atomic<bool>& ended) : m_ended(ended) {}
    void ready(std::uint32_t) override {}
    void expired() override {}
    XPCEventLoop::Interest interest() override { return {}; }
    void ended() override { m_ended = true; }

private:
    std::atomic<bool>& m_ended;
};

TEST(XPCEventLoop, StopAllEndsTheWatchesAndJoinsEveryLoopThread) {
    // A sanitizer starts a helper thread with the first thread: that one is not counted.
    std::thread([] {}).join();
    const auto before = threadCount();
    int pair[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const FileDescriptor watched(pair[0]);
    const FileDescriptor peer(pair[1]);

    std::atomic<bool> ended = false;
    {
        // A loop whose handle goes keeps serving its watch on its own thread.
        const auto serving = XPCEventLoop::create("serving");
        ASSERT_NE(serving, nullptr);
        ASSERT_TRUE(serving->watch(watched.get(), std::make_shared<HeldWatch>(ended)));
        // One with nothing left to serve ends by itself.
        ASSERT_NE(XPCEventLoop::create("idle"), nullptr);
    }
    // The serving loop's thread and the one that joins loop threads as they end.
    EXPECT_TRUE(eventually([&] { return threadCount() == before + 2; }));
    EXPECT_FALSE(ended);

    XPCEventLoop::stopAll();
    EXPECT_TRUE(ended) << "the watch was not ended";
    EXPECT_EQ(threadCount(), before);

    // Loops made afterwards still run.
    const auto later = XPCEventLoop::create("later");
    ASSERT_NE(later, nullptr);
    std::atomic<bool> laterEnded = false;
    ASSERT_TRUE(later->watch(peer.get(), std::make_shared<HeldWatch>(laterEnded)));
    XPCEventLoop::stopAll();
    EXPECT_TRUE(laterEnded);
    EXPECT_EQ(threadCount(), before);
}

}  // namespace
}  // namespace tarnwick
