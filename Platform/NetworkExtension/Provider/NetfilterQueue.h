#pragma once

#include "Foundation/FileDescriptor.h"
#include "Foundation/Result.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The kernel's packet queues (NFQUEUE) over one netlink socket: binds queue numbers, hands each
// queued packet to a handler, and sends verdicts, from any thread. A full queue drops what does
// not fit unless the queue is set to pass packets then (for queues that only watch traffic).
class NetfilterQueue {
public:
    struct QueueSettings {
        std::uint16_t number = 0;
        std::uint32_t copyRange = 0;  // bytes of each packet to hand over
        bool passWhenFull = false;
    };

    struct Packet {
        std::uint16_t queue = 0;
        std::uint32_t id = 0;
        std::uint8_t hook = 0;  // NF_INET_LOCAL_IN, NF_INET_LOCAL_OUT, ...
        std::uint32_t mark = 0;
        // The user of the socket that sent it, when it has one (a packet from this host).
        std::optional<std::uint32_t> uid;
        std::span<const std::uint8_t> payload;
    };

    enum class Verdict { accept, drop, repeat };

    // Packets each queue holds before it is full.
    static constexpr std::uint32_t kQueueLength = 8192;

    NetfilterQueue() = default;
    ~NetfilterQueue();
    NetfilterQueue(const NetfilterQueue&) = delete;
    NetfilterQueue& operator=(const NetfilterQueue&) = delete;

    // Binds the queues; the reason when one could not be bound (another program holds it, no
    // permission).
    Result<void, std::string> open(const std::vector<QueueSettings>& queues);
    int fileDescriptor() const;

    // What one read may bring beyond the packet's bytes.
    static constexpr std::size_t kMessageOverhead = 4096;

    // Reads what the kernel has queued and calls `handler` for each packet. False when the
    // socket failed for good. Only one thread may read this way.
    bool receive(const std::function<void(const Packet&)>& handler);
    // The same into a buffer of the caller's, for several threads reading at once: each packet
    // comes to one of them. The buffer holds at least the copy range and kMessageOverhead.
    bool receive(const std::function<void(const Packet&)>& handler, std::vector<char>& buffer);

    // `mark` is set on the packet when given (for repeat: the rules that follow see it).
    void setVerdict(std::uint16_t queue, std::uint32_t packetId, Verdict verdict,
                    std::optional<std::uint32_t> mark = std::nullopt);

    void close();

private:
    Result<void, std::string> configure(std::uint16_t queue,
                                        const std::function<void(void*)>& fill);

    // Guards the socket's lifetime against readers and verdict senders, who share it: a verdict's
    // send carries the packet on through the stack, and must not hold up the others'.
    mutable std::shared_mutex m_mutex;
    FileDescriptor m_socket;
    std::uint32_t m_portId = 0;
    std::vector<char> m_buffer;
};

}  // namespace tarnwick
