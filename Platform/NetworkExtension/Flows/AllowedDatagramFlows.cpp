#include "AllowedDatagramFlows.h"

#include "SocketDestroyEvent.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarnwick {

namespace {

using Address = std::array<std::uint8_t, 16>;

constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool isUnspecified(int family, const Address& address) {
    const std::size_t length = family == AF_INET ? 4 : 16;
    return std::all_of(address.begin(), address.begin() + static_cast<long>(length),
                       [](std::uint8_t byte) { return byte == 0; });
}

// Whether a connection's address is a socket's; an IPv6 socket carries IPv4 connections under
// IPv4-mapped addresses.
bool sameAddress(int connectionFamily, const Address& connection, int socketFamily,
                 const Address& socket) {
    if (connectionFamily == socketFamily) {
        return std::memcmp(connection.data(), socket.data(),
                           connectionFamily == AF_INET ? 4 : 16) == 0;
    }
    return connectionFamily == AF_INET && socketFamily == AF_INET6 &&
           std::memcmp(socket.data(), kMappedPrefix, sizeof(kMappedPrefix)) == 0 &&
           std::memcmp(socket.data() + 12, connection.data(), 4) == 0;
}

// Whether the socket could have had the connection with (localAddress, localPort) as its end.
bool endsAt(const FlowTable::Key& connection, const Address& localAddress, std::uint16_t localPort,
            const Address& remoteAddress, std::uint16_t remotePort,
            const SocketDestroyEvent& socket) {
    if (localPort != socket.localPort) {
        return false;
    }
    if (!isUnspecified(socket.family, socket.local) &&
        !sameAddress(connection.family, localAddress, socket.family, socket.local)) {
        return false;
    }
    if (socket.remotePort == 0 && isUnspecified(socket.family, socket.remote)) {
        return true;  // never connected: any remote end
    }
    return remotePort == socket.remotePort &&
           sameAddress(connection.family, remoteAddress, socket.family, socket.remote);
}

bool mayBelongTo(const FlowTable::Key& connection, const SocketDestroyEvent& socket) {
    if (connection.family != socket.family &&
        !(connection.family == AF_INET && socket.family == AF_INET6)) {
        return false;
    }
    return endsAt(connection, connection.source, connection.sourcePort, connection.destination,
                  connection.destinationPort, socket) ||
           endsAt(connection, connection.destination, connection.destinationPort, connection.source,
                  connection.sourcePort, socket);
}

}  // namespace

AllowedDatagramFlows::AllowedDatagramFlows(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1)) {}

void AllowedDatagramFlows::record(const FlowTable::Key& connection) {
    if (connection.protocol != IPPROTO_UDP) {
        return;
    }
    FlowTable::Key key = connection;
    key.instance = 0;  // conntrack knows the ports, not the socket
    std::lock_guard lock(m_mutex);
    const auto [first, last] = m_byPort.equal_range(key.sourcePort);
    if (std::any_of(first, last, [&key](const auto& entry) { return *entry.second == key; })) {
        return;
    }
    if (m_connections.size() >= m_capacity) {
        eraseLocked(m_connections.begin());
    }
    const Entry entry = m_connections.insert(m_connections.end(), key);
    m_byPort.emplace(key.sourcePort, entry);
    if (key.destinationPort != key.sourcePort) {
        m_byPort.emplace(key.destinationPort, entry);
    }
}

std::vector<FlowTable::Key> AllowedDatagramFlows::take(const SocketDestroyEvent& ended) {
    std::vector<FlowTable::Key> taken;
    if (ended.protocol != 0 && ended.protocol != IPPROTO_UDP) {
        return taken;
    }
    std::lock_guard lock(m_mutex);
    std::vector<Entry> matches;
    const auto [first, last] = m_byPort.equal_range(ended.localPort);
    for (auto found = first; found != last; ++found) {
        if (mayBelongTo(*found->second, ended)) {
            matches.push_back(found->second);
        }
    }
    for (const Entry entry : matches) {
        taken.push_back(*entry);
        eraseLocked(entry);
    }
    return taken;
}

std::vector<FlowTable::Key> AllowedDatagramFlows::takeAll() {
    std::lock_guard lock(m_mutex);
    std::vector<FlowTable::Key> taken(m_connections.begin(), m_connections.end());
    m_connections.clear();
    m_byPort.clear();
    return taken;
}

std::size_t AllowedDatagramFlows::size() const {
    std::lock_guard lock(m_mutex);
    return m_connections.size();
}

void AllowedDatagramFlows::eraseLocked(Entry entry) {
    for (const auto port : {entry->sourcePort, entry->destinationPort}) {
        const auto [first, last] = m_byPort.equal_range(port);
        for (auto found = first; found != last; ++found) {
            if (found->second == entry) {
                m_byPort.erase(found);
                break;
            }
        }
    }
    m_connections.erase(entry);
}

}  // namespace tarnwick
