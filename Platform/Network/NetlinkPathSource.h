#pragma once

#include "NetworkPath.h"
#include "PathSource.h"

#include <memory>
#include <mutex>
#include <thread>

namespace tarnwick {

class FileDescriptor;

// Watches the kernel's routing messages (links, addresses and routes coming and going) on a
// thread of its own and reads the routing tables again after each burst of them. The path is
// satisfied when a default unicast route leaves through an interface that is up and has a
// carrier; loopback does not count.
//
// The netlink sockets belong to the network namespace of the thread that calls `start`.
class NetlinkPathSource final : public PathSource {
public:
    NetlinkPathSource() = default;
    ~NetlinkPathSource() override;
    NetlinkPathSource(const NetlinkPathSource&) = delete;
    NetlinkPathSource& operator=(const NetlinkPathSource&) = delete;

    void start(Observer observer) override;
    void stop() override;

    // Reads the links and routes now. Unsatisfied when they cannot be read.
    static NetworkPath readCurrentPath();

private:
    void run(int eventSocket, int stopEvent, const Observer& observer);

    std::mutex m_mutex;
    std::thread m_thread;
    std::shared_ptr<FileDescriptor> m_stopEvent;
};

}  // namespace tarnwick
