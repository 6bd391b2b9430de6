#include "Dispatch/DispatchQueue.h"
#include "Dispatch/RunLoop.h"
#include "Network/ManualPathSource.h"
#include "Network/NetlinkPathSource.h"
#include "Network/PathMonitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

constexpr NetworkPath kUp{NetworkPath::Status::satisfied};
constexpr NetworkPath kDown{NetworkPath::Status::unsatisfied};

TEST(PathMonitor, ReportsTheFirstPathAndThenOnlyChangesOnItsQueue) {
    auto source = std::make_shared<ManualPathSource>(kDown);
    PathMonitor monitor(source);
    std::vector<NetworkPath> seen;
    bool allOnMain = true;
    monitor.setPathUpdateHandler([&](const NetworkPath& path) {
        allOnMain = allOnMain && isMainThread();
        seen.push_back(path);
    });
    monitor.start(DispatchQueue::main());
    source->setPath(kDown);
    source->setPath(kUp);
    source->setPath(kUp);
    source->setPath(kDown);
    EXPECT_EQ(monitor.currentPath(), kDown);  // nothing handed over before the queue runs
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return seen.size() == 3; }, 5s));
    EXPECT_EQ(seen, (std::vector<NetworkPath>{kDown, kUp, kDown}));
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(monitor.currentPath(), kDown);
}

TEST(PathMonitor, CancelStopsTheSourceAndDropsQueuedUpdates) {
    auto source = std::make_shared<ManualPathSource>(kDown);
    PathMonitor monitor(source);
    int calls = 0;
    monitor.setPathUpdateHandler([&](const NetworkPath&) { ++calls; });
    monitor.start(DispatchQueue::main());
    source->setPath(kUp);  // queued, not yet handed over
    monitor.cancel();
    EXPECT_FALSE(source->isStarted());
    RunLoop::main().runFor(0ms);
    EXPECT_EQ(calls, 0);
    monitor.start(DispatchQueue::main());  // a cancelled monitor stays cancelled
    EXPECT_FALSE(source->isStarted());
}

// Runs commands and the monitor inside a fresh network namespace owned by one thread, so the
// host's own network is never touched.
class NetworkNamespaceThread {
public:
    static void run(const std::function<void()>& body) {
        std::thread thread([&] {
            ASSERT_EQ(unshare(CLONE_NEWNET), 0) << "cannot make a network namespace";
            body();
        });
        thread.join();
    }
};

void shell(const std::string& command) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

TEST(NetlinkPathSource, FollowsDefaultRouteAndLinkStateInANamespace) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    if (std::system("command -v ip >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs the ip tool";
    }
    NetworkNamespaceThread::run([] {
        EXPECT_EQ(NetlinkPathSource::readCurrentPath(), kDown);  // only a loopback that is down

        std::mutex mutex;
        std::condition_variable changed;
        std::vector<NetworkPath> seen;
        const auto waitFor = [&](std::size_t count) {
            std::unique_lock lock(mutex);
            return changed.wait_for(lock, 10s, [&] { return seen.size() >= count; });
        };

        auto queue = DispatchQueue::create("path-monitor-test");
        PathMonitor monitor;
        monitor.setPathUpdateHandler([&](const NetworkPath& path) {
            {
                std::lock_guard lock(mutex);
                seen.push_back(path);
            }
            changed.notify_all();
        });
        monitor.start(queue);
        ASSERT_TRUE(waitFor(1));

        // A default route through a loopback interface is no way out.
        shell("ip link set lo up && ip addr add 10.9.1.1/32 dev lo && ip route add default dev lo");
        shell("ip link add tw0 type veth peer name tw1");
        shell("ip link set tw1 up && ip link set tw0 up && ip addr add 10.9.0.1/24 dev tw0");
        shell("ip route replace default via 10.9.0.2 dev tw0");
        ASSERT_TRUE(waitFor(2));
        shell("ip link set tw1 down");  // no carrier: the route stays, the way out does not
        ASSERT_TRUE(waitFor(3));
        shell("ip link set tw1 up");
        ASSERT_TRUE(waitFor(4));
        shell("ip route del default");
        ASSERT_TRUE(waitFor(5));
        monitor.cancel();

        std::lock_guard lock(mutex);
        EXPECT_EQ(seen, (std::vector<NetworkPath>{kDown, kUp, kDown, kUp, kDown}));
    });
}

}  // namespace
}  // namespace tarnwick
