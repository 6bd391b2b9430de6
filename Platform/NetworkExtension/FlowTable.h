#pragma once

#include "NEFilterNewFlowVerdict.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tarnwick {

struct IPPacket;

// The flows the filter holds and the answers it gave. One flow is one connection, named by its
// addresses, ports and protocol: a first packet sent again while its flow waits (a TCP SYN
// retransmitted, a second datagram) joins the waiting flow and gets the flow's verdict with it, and
// one that comes soon after the answer (the peer has not replied yet, so the connection still
// counts as new) gets the same answer at once.
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

        static Key of(const IPPacket& packet);
        bool operator==(const Key&) const = default;
    };

    enum class Verdict { accept, reject };

    // What to do with the packets of a decided flow.
    struct Release {
        std::uint64_t flowIdentifier = 0;
        std::vector<std::uint32_t> packetIds;
        Verdict verdict = Verdict::accept;
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
        std::size_t packetsPerFlow = 32;
        std::size_t decisions = 65536;
    };

    FlowTable();
    explicit FlowTable(Limits limits);

    Admission admit(const Key& key, std::uint32_t packetId, TimePoint now);
    // The flow is being examined; a resume that comes before `settle` is kept for it.
    void begin(const Key& key, std::uint64_t flowIdentifier, std::uint32_t packetId, TimePoint now);
    // The examination answered. Allow and drop release the packets; pause holds them, unless the
    // flow was resumed meanwhile.
    std::optional<Release> settle(std::uint64_t flowIdentifier,
                                  const NEFilterNewFlowVerdict& verdict, TimePoint now);
    // A verdict for a flow; nothing when the flow is not held (or is still being examined, in
    // which case `settle` releases it).
    std::optional<Release> resume(std::uint64_t flowIdentifier,
                                  const NEFilterNewFlowVerdict& verdict, TimePoint now);
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
};

}  // namespace tarnwick
