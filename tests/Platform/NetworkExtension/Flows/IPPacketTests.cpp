#include "NetworkExtension/Flows/IPPacket.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ipv4(std::uint8_t protocol, const Bytes& transport, std::uint16_t fragment = 0) {
    const auto total = static_cast<std::uint16_t>(20 + transport.size());
    Bytes packet = {0x45,
                    0,
                    static_cast<std::uint8_t>(total >> 8),
                    static_cast<std::uint8_t>(total),
                    0,
                    1,
                    static_cast<std::uint8_t>(fragment >> 8),
                    static_cast<std::uint8_t>(fragment),
                    64,
                    protocol,
                    0,
                    0,
                    10,
                    200,
                    1,
                    1,
                    10,
                    200,
                    1,
                    2};
    packet.insert(packet.end(), transport.begin(), transport.end());
    return packet;
}

const Bytes kTcpSyn = {0xc3, 0x50, 0x1b, 0x58, 0,    0,    0, 1, 0, 0,
                       0,    0,    0x50, 0x02, 0xfa, 0xf0, 0, 0, 0, 0};        // 50000 -> 7000, SYN
const Bytes kUdp = {0x00, 0x35, 0xd4, 0x31, 0x00, 0x0b, 0, 0, 'a', 'b', 'c'};  // 53 -> 54321

TEST(IPPacket, ReadsAddressesPortsAndPayload) {
    const auto tcp = IPPacket::parse(ipv4(IPPROTO_TCP, kTcpSyn));
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->family, AF_INET);
    EXPECT_EQ(tcp->protocol, IPPROTO_TCP);
    EXPECT_EQ(tcp->sourceAddress(), "10.200.1.1");
    EXPECT_EQ(tcp->destinationAddress(), "10.200.1.2");
    EXPECT_EQ(tcp->sourcePort, 50000);
    EXPECT_EQ(tcp->destinationPort, 7000);

    const auto udpBytes = ipv4(IPPROTO_UDP, kUdp);  // the payload points into these bytes
    const auto udp = IPPacket::parse(udpBytes);
    ASSERT_TRUE(udp);
    EXPECT_EQ(udp->sourcePort, 53);
    EXPECT_EQ(std::string(udp->payload.begin(), udp->payload.end()), "abc");

    // IPv6 with a hop-by-hop header before UDP.
    Bytes v6 = {0x60, 0, 0, 0, 0, 19, 0 /* hop-by-hop */, 64};
    const Bytes source = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const Bytes destination = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
    v6.insert(v6.end(), source.begin(), source.end());
    v6.insert(v6.end(), destination.begin(), destination.end());
    v6.insert(v6.end(), {IPPROTO_UDP, 0, 1, 4, 0, 0, 0, 0});
    v6.insert(v6.end(), kUdp.begin(), kUdp.end());
    const auto parsed = IPPacket::parse(v6);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->family, AF_INET6);
    EXPECT_EQ(parsed->sourceAddress(), "2001:db8::1");
    EXPECT_EQ(parsed->destinationPort, 54321);
    EXPECT_EQ(std::string(parsed->payload.begin(), parsed->payload.end()), "abc");
}

TEST(IPPacket, WhatCarriesNoPortsDoesNotParse) {
    auto truncated = ipv4(IPPROTO_TCP, kTcpSyn);
    truncated.resize(30);
    const std::pair<const char*, Bytes> rows[] = {
        {"ICMP", ipv4(IPPROTO_ICMP, Bytes(8, 0))},
        {"later fragment", ipv4(IPPROTO_UDP, kUdp, 0x0010)},
        {"cut inside the TCP header", truncated},
        {"header length beyond the bytes",
         {0x4f, 0, 0, 20, 0, 0, 0, 0, 64, 6, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"not IP", Bytes(40, 0x20)},
        {"empty", {}},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IPPacket::parse(bytes));
    }
}

TEST(IPPacket, TheLongestHeadersFitTheBytesReadOfAPacket) {
    // IPv6 with as many extension headers as are read, each as long as one can be, then a TCP SYN
    // with the most options: all of it within the bytes the filter reads of a first packet.
    Bytes packet(40, 0);
    packet[0] = 0x60;
    packet[6] = IPPROTO_ROUTING;
    for (std::size_t header = 0; header < IPPacket::kMaximumExtensionHeaders; ++header) {
        Bytes extension(2048, 0);
        const bool last = header + 1 == IPPacket::kMaximumExtensionHeaders;
        extension[0] = static_cast<std::uint8_t>(last ? int{IPPROTO_TCP} : int{IPPROTO_ROUTING});
        extension[1] = 255;
        packet.insert(packet.end(), extension.begin(), extension.end());
    }
    Bytes syn = kTcpSyn;
    syn.resize(60, 0);
    syn[12] = 0xf0;  // 15 words of header
    packet.insert(packet.end(), syn.begin(), syn.end());
    const auto length = static_cast<std::uint16_t>(packet.size() - 40);
    packet[4] = static_cast<std::uint8_t>(length >> 8);
    packet[5] = static_cast<std::uint8_t>(length);
    ASSERT_EQ(packet.size(), IPPacket::kLongestHeaders);
    const auto parsed = IPPacket::parse(packet);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->destinationPort, 7000);
}

}  // namespace
}  // namespace tarnwick
