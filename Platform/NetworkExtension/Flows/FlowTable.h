#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace tarnwick {

struct IPPacket;

// The flows the filter holds and the answers it gave. One flow is one connection, named by its
// addresses, ports, protocol and the connection's own instance (a TCP connection's initial
// sequence number, a UDP socket's inode): a first packet sent again while its flow waits (a TCP
// SYN retransmitted, a second datagram) joins the waiting flow and gets the flow's verdict with
// it, and one that comes soon after the answer (the peer has not replied yet, so the connection
// still counts as new) gets the same answer at once. A new connection that reuses the ports is
// another instance and is asked about; an answer is kept for a fixed time from the verdict, never
// longer because it was used.
//
// Every queued packet ends in exactly one verdict: the flow's, allow when the flow waited longer
// than the pause limit or the filter stops, or drop for packets beyond what one waiting flow
// holds.
class FlowTable {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    struct Key {
        int family = 0;
        int protocol = 0;
        std::array<std::uint8_t, 16> source{};
        std::array<std::uint8_t, 16> destination{};
        std::uint16_t sourcePort = 0;
        std::uint16_t destinationPort = 0;
        // Which connection on these ports; 0 when unknown, and then no answer is remembered.
        std::uint64_t instance = 0;

        static Key of(const IPPacket& packet, std::uint64_t instance);
        bool operator==(const Key&) const = default;
    };

    // Who a held flow belongs to, for the bounds on held flows. A flow whose process is not known
    // (yet) counts against its user only: flows of unknown processes are no one process's, and
    // sharing one count would let one user's fill it for everyone.
    struct Origin {
        pid_t pid = 0;  // 0 when no process is known
        uid_t uid = static_cast<uid_t>(-1);
    };

    enum class Verdict { accept, reject };

    // What to do with the packets of a decided flow.
    struct Release {
        std::uint64_t flowIdentifier = 0;
        std::vector<std::uint32_t> packetIds;
        Verdict verdict = Verdict::accept;
        Key key;  // the connection the packets open
    };

    struct Admission {
        enum class Kind {
            newFlow,   // not known: examine it
            joined,    // held with its waiting flow; no verdict now
            decided,   // answered recently: `verdict` at once
            overflow,  // its waiting flow holds enough packets already: drop this one
        };
        Kind kind = Kind::newFlow;
        Verdict verdict = Verdict::accept;
    };

    struct Limits {
        std::chrono::seconds pauseLimit{60};
        std::chrono::seconds decisionMemory{30};
        // A SYN and its retransmissions over the pause limit; a few datagrams.
        std::size_t packetsPerFlow = 8;
        std::size_t decisions = 65536;
        // Held flows at once: one process or one user cannot take the whole queue, and all of
        // them with their packets fit the kernel's queue (8,192 packets).
        std::size_t heldPerProcess = 256;
        std::size_t heldPerUser = 512;
        std::size_t held = 1000;
    };

    FlowTable();
    explicit FlowTable(Limits limits);

    Admission admit(const Key& key, std::uint32_t packetId, TimePoint now);
    // Whether one more flow of `origin` may be held.
    bool hasRoomFor(const Origin& origin) const;
    // The flow is being examined; a resume that comes before `settle` is kept for it.
    void begin(const Key& key, const Origin& origin, std::uint64_t flowIdentifier,
               std::uint32_t packetId, TimePoint now);
    // The process of a held flow, found after it was held: it counts against the process from
    // now on. False, and nothing changes, when the process holds as many flows as it may.
    bool attribute(std::uint64_t flowIdentifier, pid_t pid);
    // The examination answered: a verdict releases the packets; nothing (pause) holds them,
    // unless the flow was resumed meanwhile.
    std::optional<Release> settle(std::uint64_t flowIdentifier, std::optional<Verdict> verdict,
                                  TimePoint now);
    // A verdict for a flow; nothing when the flow is not held (or is still being examined, in
    // which case `settle` releases it).
    std::optional<Release> resume(std::uint64_t flowIdentifier, Verdict verdict, TimePoint now);
    // Flows held longer than the pause limit, each released with accept.
    std::vector<Release> expire(TimePoint now);
    // Every held flow, released with accept.
    std::vector<Release> releaseAll();
    // Answers the connection at once from now on, without a flow.
    void remember(const Key& key, Verdict verdict, TimePoint now);

    std::size_t heldCount() const;

private:
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };
    struct Held {
        Key key;
        Origin origin;
        std::vector<std::uint32_t> packetIds;
        bool examining = true;
        std::optional<Verdict> earlyVerdict;
        TimePoint deadline;
    };
    struct Decision {
        Verdict verdict;
        TimePoint expiry;
    };

    Release releaseLocked(std::uint64_t flowIdentifier, Verdict verdict, TimePoint now);
    void rememberLocked(const Key& key, Verdict verdict, TimePoint now);

    const Limits m_limits;
    mutable std::mutex m_mutex;
    std::unordered_map<std::uint64_t, Held> m_held;
    std::unordered_map<Key, std::uint64_t, KeyHash> m_heldByKey;
    std::unordered_map<Key, Decision, KeyHash> m_decisions;
    std::unordered_map<pid_t, std::size_t> m_heldByProcess;
    std::unordered_map<uid_t, std::size_t> m_heldByUser;
};

}  // namespace tarnwick
