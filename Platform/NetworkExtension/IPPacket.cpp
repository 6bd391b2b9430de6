#include "IPPacket.h"

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarnwick {

namespace {

std::uint16_t read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

bool parseTransport(IPPacket& packet, int protocol, std::span<const std::uint8_t> bytes) {
    packet.protocol = protocol;
    if (protocol == IPPROTO_TCP) {
        if (bytes.size() < 20) {
            return false;
        }
        packet.sourcePort = read16(bytes.data());
        packet.destinationPort = read16(bytes.data() + 2);
        return true;
    }
    if (protocol == IPPROTO_UDP) {
        if (bytes.size() < 8) {
            return false;
        }
        packet.sourcePort = read16(bytes.data());
        packet.destinationPort = read16(bytes.data() + 2);
        const std::size_t length = read16(bytes.data() + 4);
        // The queue may hand over fewer bytes than the datagram holds; the payload is what came.
        std::size_t end = length >= 8 ? std::min(length, bytes.size()) : bytes.size();
        packet.payload = bytes.subspan(8, end - 8);
        return true;
    }
    return false;
}

}  // namespace

std::optional<IPPacket> IPPacket::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    IPPacket packet;
    const int version = bytes[0] >> 4;
    if (version == 4) {
        if (bytes.size() < 20) {
            return std::nullopt;
        }
        const std::size_t headerLength = static_cast<std::size_t>(bytes[0] & 0x0f) * 4;
        const std::size_t totalLength = read16(bytes.data() + 2);
        const std::uint16_t fragment = read16(bytes.data() + 6);
        if (headerLength < 20 || headerLength > bytes.size() || totalLength < headerLength) {
            return std::nullopt;
        }
        // A later fragment carries no ports.
        if ((fragment & 0x1fff) != 0) {
            return std::nullopt;
        }
        packet.family = AF_INET;
        std::memcpy(packet.source.data(), bytes.data() + 12, 4);
        std::memcpy(packet.destination.data(), bytes.data() + 16, 4);
        const std::size_t end = std::min(totalLength, bytes.size());
        if (!parseTransport(packet, bytes[9], bytes.subspan(headerLength, end - headerLength))) {
            return std::nullopt;
        }
        return packet;
    }
    if (version == 6) {
        if (bytes.size() < 40) {
            return std::nullopt;
        }
        packet.family = AF_INET6;
        std::memcpy(packet.source.data(), bytes.data() + 8, 16);
        std::memcpy(packet.destination.data(), bytes.data() + 24, 16);
        const std::size_t end = std::min<std::size_t>(40 + read16(bytes.data() + 4), bytes.size());
        int next = bytes[6];
        std::size_t offset = 40;
        // Extension headers before the transport header; a bounded walk.
        for (int hops = 0; hops < 8; ++hops) {
            if (next == IPPROTO_HOPOPTS || next == IPPROTO_ROUTING || next == IPPROTO_DSTOPTS) {
                if (offset + 8 > end) {
                    return std::nullopt;
                }
                const int following = bytes[offset];
                offset += (static_cast<std::size_t>(bytes[offset + 1]) + 1) * 8;
                next = following;
            } else if (next == IPPROTO_FRAGMENT) {
                if (offset + 8 > end) {
                    return std::nullopt;
                }
                if ((read16(bytes.data() + offset + 2) & 0xfff8) != 0) {
                    return std::nullopt;
                }
                next = bytes[offset];
                offset += 8;
            } else {
                break;
            }
        }
        if (offset > end || !parseTransport(packet, next, bytes.subspan(offset, end - offset))) {
            return std::nullopt;
        }
        return packet;
    }
    return std::nullopt;
}

std::size_t IPPacket::addressLength() const {
    return family == AF_INET ? 4 : 16;
}

std::string IPPacket::sourceAddress() const {
    return ipAddressText(family, source.data());
}

std::string IPPacket::destinationAddress() const {
    return ipAddressText(family, destination.data());
}

std::string ipAddressText(int family, const std::uint8_t* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (::inet_ntop(family, address, text, sizeof(text)) == nullptr) {
        return {};
    }
    return text;
}

}  // namespace tarnwick
