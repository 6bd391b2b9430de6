#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarnwick {

// The addresses, ports and transport payload of a TCP or UDP packet over IPv4 or IPv6, read from
// the bytes a packet queue hands over. Anything else (other protocols, later fragments, cut-off
// headers) does not parse.
struct IPPacket {
    int family = 0;                         // AF_INET or AF_INET6
    int protocol = 0;                       // IPPROTO_TCP or IPPROTO_UDP
    std::array<std::uint8_t, 16> source{};  // IPv4 uses the first four bytes
    std::array<std::uint8_t, 16> destination{};
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    // TCP's sequence number (of a SYN: the connection's initial one); 0 for UDP.
    std::uint32_t sequenceNumber = 0;
    // The transport payload within the parsed bytes (UDP only; empty for TCP).
    std::span<const std::uint8_t> payload;

    // IPv6 extension headers read before the transport header; a packet with more does not parse.
    static constexpr std::size_t kMaximumExtensionHeaders = 8;
    // The bytes that hold every header a packet that parses can have: an IPv6 header, the
    // extension headers at their largest (2 KiB each) and a TCP header with options.
    static constexpr std::size_t kLongestHeaders = 40 + kMaximumExtensionHeaders * 2048 + 60;

    static std::optional<IPPacket> parse(std::span<const std::uint8_t> bytes);

    std::string sourceAddress() const;
    std::string destinationAddress() const;
    std::size_t addressLength() const;
};

// An address as text, in the form inet_ntop gives.
std::string ipAddressText(int family, const std::uint8_t* address);

}  // namespace tarnwick
