#pragma once

#include "FlowTable.h"
#include "SocketDestroyEvent.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The UDP connections the filter let through, by their ports, until the socket on their local
// end ends: conntrack keeps such a connection alive as long as either end sends, and would carry
// a later socket's datagrams on the same ports without a question. When a socket ends, the
// connections it may have had are handed out once, to be removed from conntrack.
//
// Which end of a connection is local is not recorded: an ended socket matches a connection on
// either end, by its port, its address unless it had none, and its remote end when it was
// connected. A match on the wrong end only removes a connection conntrack then builds again, and
// costs a question. At most `capacity` connections are kept; the oldest go first.
class AllowedDatagramFlows {
public:
    explicit AllowedDatagramFlows(std::size_t capacity = 65536);

    // A connection was let through; UDP only, others are ignored.
    void record(const FlowTable::Key& connection);
    // The connections that `ended` may have had, forgotten here.
    std::vector<FlowTable::Key> take(const SocketDestroyEvent& ended);
    // Every connection, forgotten here: for when the ends of some sockets went unseen.
    std::vector<FlowTable::Key> takeAll();

    std::size_t size() const;

private:
    using Entry = std::list<FlowTable::Key>::iterator;

    void eraseLocked(Entry entry);

    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::list<FlowTable::Key> m_connections;                 // oldest first
    std::unordered_multimap<std::uint16_t, Entry> m_byPort;  // under both of its ports
};

}  // namespace tarnwick
