#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"
#include "NetworkExtension/Flows/AllowedDatagramFlows.h"

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick {

// Keeps an answer about a UDP connection to the socket it was given for. Conntrack keeps an
// allowed UDP connection for as long as its ends send, so a new socket on the same ports would
// pass on it unasked; here, when a socket ends (the kernel's socket-destroy announcements), the
// connections it was allowed are removed from conntrack, and the next socket's first datagram is
// new again. A thread of its own reads the announcements; when some were lost (the kernel's
// buffer was full), every remembered connection is removed, so the cost of an overload is a
// question too many, never one too few.
class ClosedSocketSweeper {
public:
    ClosedSocketSweeper() = default;
    ~ClosedSocketSweeper();
    ClosedSocketSweeper(const ClosedSocketSweeper&) = delete;
    ClosedSocketSweeper& operator=(const ClosedSocketSweeper&) = delete;

    // Subscribes to the announcements and starts the thread; the reason when it cannot.
    Result<void, std::string> start();
    void stop();

    // A connection was let through (UDP ones are remembered), from any thread.
    void allowed(const FlowTable::Key& connection);

private:
    void run();
    void remove(const std::vector<FlowTable::Key>& connections);

    AllowedDatagramFlows m_allowed;
    FileDescriptor m_announcements;
    FileDescriptor m_conntrack;
    FileDescriptor m_wake;
    std::thread m_thread;
    std::uint32_t m_sequence = 0;
};

}  // namespace tarnwick
