#include "FlowDecider.h"

#include <netinet/in.h>

namespace tarnwick {

FlowDecider::FlowDecider() : FlowDecider(FlowTable::Limits{}) {}

FlowDecider::FlowDecider(FlowTable::Limits limits) : m_table(limits) {}

FlowDecider::Decision FlowDecider::decide(const Packet& packet, const OwnerLookup& owner,
                                          const Exemptions& exempt, FlowTable::TimePoint now) {
    using Kind = Decision::Kind;
    // Only the first packets of TCP and UDP connections come here: one whose headers cannot be
    // read (more extension headers than are read) is refused, never let through unasked.
    if (packet.parsed == nullptr) {
        return Decision{Kind::drop, 0, std::nullopt};
    }
    std::optional<std::optional<Owner>> found;
    const auto ownerOnce = [&]() -> const std::optional<Owner>& {
        if (!found) {
            found = owner ? owner() : std::nullopt;
        }
        return *found;
    };
    // Which connection on these ports: a TCP connection keeps its initial sequence number in a
    // retransmitted SYN; UDP has none, and a datagram's socket tells its connections apart.
    std::uint64_t instance = 0;
    if (packet.parsed->protocol == IPPROTO_TCP) {
        instance = std::uint64_t{1} << 32 | packet.parsed->sequenceNumber;
    } else if (const auto& socket = ownerOnce()) {
        // A socket of a known user that could not be found apart from another one on the same
        // ports: its user's datagrams on this connection are one connection.
        instance =
            socket->socketInode != 0 ? socket->socketInode : (std::uint64_t{2} << 32 | socket->uid);
    }
    const auto key = FlowTable::Key::of(*packet.parsed, instance);
    const auto admission = m_table.admit(key, packet.id, now);
    switch (admission.kind) {
        case FlowTable::Admission::Kind::joined:
            return Decision{Kind::join, 0, std::nullopt};
        case FlowTable::Admission::Kind::overflow:
            return Decision{Kind::discard, 0, std::nullopt};
        case FlowTable::Admission::Kind::decided:
            return Decision{
                admission.verdict == FlowTable::Verdict::accept ? Kind::accept : Kind::drop, 0,
                std::nullopt};
        case FlowTable::Admission::Kind::newFlow:
            break;
    }

    const auto& socket = ownerOnce();
    if (socket && socket->pid > 0 && exempt && exempt(socket->pid)) {
        m_table.remember(key, FlowTable::Verdict::accept, now);
        return Decision{Kind::accept, 0, std::nullopt};
    }
    const FlowTable::Origin origin =
        socket ? FlowTable::Origin{socket->pid, socket->uid} : FlowTable::Origin{};
    // Past its bound a connection is refused, never let through unasked: one process or user
    // cannot fill the queue and so open it for everyone.
    if (!m_table.hasRoomFor(origin)) {
        return Decision{Kind::drop, 0, std::nullopt};
    }
    const std::uint64_t flow = m_nextFlowIdentifier++;
    m_table.begin(key, origin, flow, packet.id, now);
    return {Kind::hold, flow, socket};
}

std::optional<FlowTable::Release> FlowDecider::attribute(std::uint64_t flowIdentifier, pid_t pid,
                                                         FlowTable::TimePoint now) {
    if (m_table.attribute(flowIdentifier, pid)) {
        return std::nullopt;
    }
    return m_table.settle(flowIdentifier, FlowTable::Verdict::reject, now);
}

std::optional<FlowTable::Release> FlowDecider::answer(std::uint64_t flowIdentifier, Answer answer,
                                                      FlowTable::TimePoint now) {
    switch (answer) {
        case Answer::pause:
            return m_table.settle(flowIdentifier, std::nullopt, now);
        case Answer::drop:
            return m_table.settle(flowIdentifier, FlowTable::Verdict::reject, now);
        case Answer::allow:
        case Answer::failed:
            return m_table.settle(flowIdentifier, FlowTable::Verdict::accept, now);
    }
    return std::nullopt;
}

std::optional<FlowTable::Release> FlowDecider::resume(std::uint64_t flowIdentifier, bool allow,
                                                      FlowTable::TimePoint now) {
    return m_table.resume(flowIdentifier,
                          allow ? FlowTable::Verdict::accept : FlowTable::Verdict::reject, now);
}

std::vector<FlowTable::Release> FlowDecider::expire(FlowTable::TimePoint now) {
    return m_table.expire(now);
}

std::vector<FlowTable::Release> FlowDecider::releaseAll() {
    return m_table.releaseAll();
}

}  // namespace tarnwick
