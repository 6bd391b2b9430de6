#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick {

// The end of a socket, as the kernel's socket diagnostics announce it to the groups that watch
// sockets being destroyed: the socket's family, protocol and both ends (a socket that was never
// connected has an empty remote end; one bound to no address, an empty local address).
struct SocketDestroyEvent {
    int family = 0;                        // AF_INET or AF_INET6
    int protocol = 0;                      // 0 when the message does not say
    std::array<std::uint8_t, 16> local{};  // IPv4 uses the first four bytes
    std::array<std::uint8_t, 16> remote{};
    std::uint16_t localPort = 0;
    std::uint16_t remotePort = 0;

    // The events of one datagram read from a watching socket. Messages of other kinds and
    // families are skipped; a cut-off or malformed message ends the reading, keeping what came
    // before it.
    static std::vector<SocketDestroyEvent> parse(std::span<const std::uint8_t> datagram);
};

}  // namespace tarnwick
