#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct mnl_socket;

namespace tarnwick {

// The kernel's packet queues (NFQUEUE) over one netlink socket: binds queue numbers, hands each
// queued packet to a handler, and sends verdicts, from any thread. A queue that is full lets
// packets through rather than dropping them.
class NetfilterQueue {
public:
    struct QueueSettings {
        std::uint16_t number = 0;
        std::uint32_t copyRange = 0;  // bytes of each packet to hand over
    };

    struct Packet {
        std::uint16_t queue = 0;
        std::uint32_t id = 0;
        std::uint8_t hook = 0;  // NF_INET_LOCAL_IN, NF_INET_LOCAL_OUT, ...
        std::uint32_t mark = 0;
        std::span<const std::uint8_t> payload;
    };

    enum class Verdict { accept, drop, repeat };

    NetfilterQueue() = default;
    ~NetfilterQueue();
    NetfilterQueue(const NetfilterQueue&) = delete;
    NetfilterQueue& operator=(const NetfilterQueue&) = delete;

    // Nothing on success, else why a queue could not be bound (another program holds it, no
    // permission).
    std::optional<std::string> open(const std::vector<QueueSettings>& queues);
    int fileDescriptor() const;

    // Reads what the kernel has queued and calls `handler` for each packet. False when the
    // socket failed for good.
    bool receive(const std::function<void(const Packet&)>& handler);

    // `mark` is set on the packet when given (for repeat: the rules that follow see it).
    void setVerdict(std::uint16_t queue, std::uint32_t packetId, Verdict verdict,
                    std::optional<std::uint32_t> mark = std::nullopt);

    void close();

private:
    std::optional<std::string> configure(std::uint16_t queue,
                                         const std::function<void(void*)>& fill);

    mutable std::mutex m_mutex;  // guards the socket's lifetime against verdict senders
    mnl_socket* m_socket = nullptr;
    std::uint32_t m_portId = 0;
    std::vector<char> m_buffer;
};

}  // namespace tarnwick
