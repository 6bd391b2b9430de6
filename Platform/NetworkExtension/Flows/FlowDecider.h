#pragma once

#include "FlowTable.h"
#include "IPPacket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace tarnwick {

// What the filter does with each packet of a new connection, without any I/O: the packet thread
// brings it what it read (the parsed packet, the owner of its socket, who is exempt) and carries
// out what it says. A packet is
//   - accepted: its owner is exempt (this process, the application), or the same connection was
//     allowed moments ago;
//   - dropped (the connection is refused at once): it did not parse, the same connection was
//     denied moments ago, or its process or user holds as many waiting flows as they may;
//   - discarded: a copy of a waiting connection's first packet beyond what the flow holds;
//   - joined to the flow already waiting for the same connection;
//   - held as a new flow, which the engine describes to the provider and settles with `answer`.
// Every packet id it is given comes back exactly once: in a decision that is not `hold` or
// `join`, or in one Release.
class FlowDecider {
public:
    struct Owner {
        std::uint64_t socketInode = 0;  // 0 when only the socket's user is known
        uid_t uid = static_cast<uid_t>(-1);
        pid_t pid = 0;  // 0 when no process holds the socket any more
    };

    struct Packet {
        std::uint32_t id = 0;
        const IPPacket* parsed = nullptr;  // nothing when it did not parse
    };

    // Processes whose connections never wait: given a pid, whether it is exempt.
    using Exemptions = std::function<bool(pid_t)>;
    // Looked up only when the decision needs it, at most once per packet.
    using OwnerLookup = std::function<std::optional<Owner>()>;

    struct Decision {
        enum class Kind { accept, drop, discard, hold, join };
        Kind kind = Kind::accept;
        std::uint64_t flowIdentifier = 0;  // hold: the new flow
        std::optional<Owner> owner;        // hold: the socket's owner, when known
    };

    // What the provider said about a held flow.
    enum class Answer { allow, drop, pause, failed };

    FlowDecider();
    explicit FlowDecider(FlowTable::Limits limits);

    Decision decide(const Packet& packet, const OwnerLookup& owner, const Exemptions& exempt,
                    FlowTable::TimePoint now);
    // The process of a held flow, found after the flow was held (`Decision::owner` had none). A
    // process holding as many waiting flows as it may has the flow refused: its release then.
    std::optional<FlowTable::Release> attribute(std::uint64_t flowIdentifier, pid_t pid,
                                                FlowTable::TimePoint now);
    // Settles a held flow; a failed examination lets the flow through.
    std::optional<FlowTable::Release> answer(std::uint64_t flowIdentifier, Answer answer,
                                             FlowTable::TimePoint now);
    // A paused flow's verdict (allow: true), from any thread.
    std::optional<FlowTable::Release> resume(std::uint64_t flowIdentifier, bool allow,
                                             FlowTable::TimePoint now);
    std::vector<FlowTable::Release> expire(FlowTable::TimePoint now);
    std::vector<FlowTable::Release> releaseAll();

    std::size_t heldCount() const { return m_table.heldCount(); }

private:
    FlowTable m_table;
    std::atomic<std::uint64_t> m_nextFlowIdentifier{1};
};

}  // namespace tarnwick
