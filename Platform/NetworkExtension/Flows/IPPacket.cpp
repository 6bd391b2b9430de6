#include "IPPacket.h"

#include "Foundation/ByteReader.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarnwick {

namespace {

constexpr auto kBig = ByteReader::Order::big;

bool parseTransport(IPPacket& packet, int protocol, std::span<const std::uint8_t> bytes) {
    const ByteReader reader(bytes);
    packet.protocol = protocol;
    const auto sourcePort = reader.u16(0, kBig);
    const auto destinationPort = reader.u16(2, kBig);
    if (protocol == IPPROTO_TCP) {
        const auto sequence = reader.u32(4, kBig);
        if (!reader.contains(0, 20) || !sourcePort || !destinationPort || !sequence) {
            return false;
        }
        packet.sourcePort = *sourcePort;
        packet.destinationPort = *destinationPort;
        packet.sequenceNumber = *sequence;
        return true;
    }
    if (protocol == IPPROTO_UDP) {
        const auto length = reader.u16(4, kBig);
        if (!reader.contains(0, 8) || !sourcePort || !destinationPort || !length) {
            return false;
        }
        packet.sourcePort = *sourcePort;
        packet.destinationPort = *destinationPort;
        // The queue may hand over fewer bytes than the datagram holds; the payload is what came.
        const std::size_t end =
            *length >= 8 ? std::min<std::size_t>(*length, bytes.size()) : bytes.size();
        packet.payload = bytes.subspan(8, end - 8);
        return true;
    }
    return false;
}

bool copyAddress(const ByteReader& reader, std::size_t offset, std::size_t length,
                 std::array<std::uint8_t, 16>& address) {
    const auto bytes = reader.span(offset, length);
    if (!bytes) {
        return false;
    }
    std::copy(bytes->begin(), bytes->end(), address.begin());
    return true;
}

std::optional<IPPacket> parseIPv4(const ByteReader& reader) {
    IPPacket packet;
    const auto first = reader.u8(0);
    const auto totalLength = reader.u16(2, kBig);
    const auto fragment = reader.u16(6, kBig);
    const auto protocol = reader.u8(9);
    if (!first || !totalLength || !fragment || !protocol) {
        return std::nullopt;
    }
    const std::size_t headerLength = static_cast<std::size_t>(*first & 0x0f) * 4;
    if (headerLength < 20 || !reader.contains(0, headerLength) || *totalLength < headerLength) {
        return std::nullopt;
    }
    // A later fragment carries no ports.
    if ((*fragment & 0x1fff) != 0) {
        return std::nullopt;
    }
    packet.family = AF_INET;
    if (!copyAddress(reader, 12, 4, packet.source) ||
        !copyAddress(reader, 16, 4, packet.destination)) {
        return std::nullopt;
    }
    const std::size_t end = std::min<std::size_t>(*totalLength, reader.size());
    if (!parseTransport(packet, *protocol,
                        reader.bytes().subspan(headerLength, end - headerLength))) {
        return std::nullopt;
    }
    return packet;
}

std::optional<IPPacket> parseIPv6(const ByteReader& reader) {
    IPPacket packet;
    const auto payloadLength = reader.u16(4, kBig);
    const auto firstNext = reader.u8(6);
    if (!payloadLength || !firstNext || !reader.contains(0, 40)) {
        return std::nullopt;
    }
    packet.family = AF_INET6;
    if (!copyAddress(reader, 8, 16, packet.source) ||
        !copyAddress(reader, 24, 16, packet.destination)) {
        return std::nullopt;
    }
    const std::size_t end = std::min<std::size_t>(40 + std::size_t{*payloadLength}, reader.size());
    const ByteReader bounded(reader.bytes().first(end));
    int next = *firstNext;
    std::size_t offset = 40;
    // Extension headers before the transport header; a bounded walk.
    for (std::size_t hops = 0; hops < IPPacket::kMaximumExtensionHeaders; ++hops) {
        if (next == IPPROTO_HOPOPTS || next == IPPROTO_ROUTING || next == IPPROTO_DSTOPTS) {
            const auto following = bounded.u8(offset);
            const auto length = bounded.u8(offset + 1);
            if (!following || !length || !bounded.contains(offset, 8)) {
                return std::nullopt;
            }
            offset += (static_cast<std::size_t>(*length) + 1) * 8;
            next = *following;
        } else if (next == IPPROTO_FRAGMENT) {
            const auto following = bounded.u8(offset);
            const auto fragmentOffset = bounded.u16(offset + 2, kBig);
            if (!following || !fragmentOffset || !bounded.contains(offset, 8)) {
                return std::nullopt;
            }
            if ((*fragmentOffset & 0xfff8) != 0) {
                return std::nullopt;
            }
            next = *following;
            offset += 8;
        } else {
            break;
        }
    }
    if (offset > end || !parseTransport(packet, next, bounded.bytes().subspan(offset))) {
        return std::nullopt;
    }
    return packet;
}

}  // namespace

std::optional<IPPacket> IPPacket::parse(std::span<const std::uint8_t> bytes) {
    const ByteReader reader(bytes);
    const auto first = reader.u8(0);
    if (!first) {
        return std::nullopt;
    }
    switch (*first >> 4) {
        case 4:
            return parseIPv4(reader);
        case 6:
            return parseIPv6(reader);
        default:
            return std::nullopt;
    }
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
