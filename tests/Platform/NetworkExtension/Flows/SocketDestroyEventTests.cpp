#include "NetworkExtension/Flows/ConntrackRequest.h"
#include "NetworkExtension/Flows/SocketDestroyEvent.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

// As the kernel announced it: a UDP socket bound to 127.0.0.1:45999 and connected to
// 127.0.0.2:5555 has ended.
const Bytes kAnnouncement = {
    0x60, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x02, 0x01, 0x00, 0x00, 0xb3, 0xaf, 0x15, 0xb3, 0x7f, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7f, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5c, 0x03, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x0a, 0x00, 0x11, 0x00, 0x00, 0x00,
};
constexpr std::size_t kFamily = 16;
constexpr std::size_t kMessageType = 4;
constexpr std::size_t kProtocolAttribute = 88;

Bytes concatenated(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes patched(Bytes bytes, std::size_t offset, std::uint8_t value) {
    bytes[offset] = value;
    return bytes;
}

TEST(SocketDestroyEvent, AnnouncedEndsAreRead) {
    const auto events = SocketDestroyEvent::parse(kAnnouncement);
    ASSERT_EQ(events.size(), 1u);
    const auto& ended = events[0];
    EXPECT_EQ(ended.family, AF_INET);
    EXPECT_EQ(ended.protocol, IPPROTO_UDP);
    EXPECT_EQ(ended.localPort, 45999);
    EXPECT_EQ(ended.remotePort, 5555);
    EXPECT_EQ(ended.local, (std::array<std::uint8_t, 16>{127, 0, 0, 1}));
    EXPECT_EQ(ended.remote, (std::array<std::uint8_t, 16>{127, 0, 0, 2}));

    Bytes ipv6 = patched(kAnnouncement, kFamily, AF_INET6);
    ipv6[24 + 15] = 1;  // the last of the local address's 16 bytes
    const auto sixes = SocketDestroyEvent::parse(ipv6);
    ASSERT_EQ(sixes.size(), 1u);
    EXPECT_EQ(sixes[0].family, AF_INET6);
    EXPECT_EQ(sixes[0].local[15], 1);
}

TEST(SocketDestroyEvent, DatagramsOfManyMessagesAndOfBrokenOnes) {
    const Bytes noProtocol = patched(kAnnouncement, kProtocolAttribute + 2, 0x0b);
    const Bytes tooLong = patched(kAnnouncement, 0, 0x61);
    const Bytes two = concatenated({kAnnouncement, kAnnouncement});
    const struct {
        const char* name;
        Bytes datagram;
        std::size_t events;
        int firstProtocol;
    } cases[] = {
        {"two messages", two, 2, IPPROTO_UDP},
        {"another kind of message first",
         concatenated({patched(kAnnouncement, kMessageType, 3), kAnnouncement}), 1, IPPROTO_UDP},
        {"another family", patched(kAnnouncement, kFamily, AF_UNIX), 0, 0},
        {"no protocol attribute", noProtocol, 1, 0},
        {"a length past the end", tooLong, 0, 0},
        {"a length shorter than a header", patched(kAnnouncement, 0, 4), 0, 0},
        {"cut inside the second message", Bytes(two.begin(), two.begin() + 130), 1, IPPROTO_UDP},
        {"empty", {}, 0, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto events = SocketDestroyEvent::parse(row.datagram);
        ASSERT_EQ(events.size(), row.events);
        if (!events.empty()) {
            EXPECT_EQ(events[0].protocol, row.firstProtocol);
        }
    }
    // Every cut of a message reads as nothing, never past the bytes.
    for (std::size_t length = 0; length < kAnnouncement.size(); ++length) {
        EXPECT_TRUE(SocketDestroyEvent::parse(std::span(kAnnouncement.data(), length)).empty());
    }
}

TEST(ConntrackRequest, DeletesTheConnectionByItsOriginalDirection) {
    FlowTable::Key connection;
    connection.family = AF_INET;
    connection.protocol = IPPROTO_UDP;
    connection.source = {10, 200, 1, 1};
    connection.destination = {10, 200, 1, 2};
    connection.sourcePort = 45200;
    connection.destinationPort = 7001;
    connection.instance = 99;
    const Bytes expected = {
        0x48, 0x00, 0x00, 0x00, 0x02, 0x01, 0x05, 0x00,  // length, ctnetlink delete, request+ack
        0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // sequence, port
        0x02, 0x00, 0x00, 0x00,                          // IPv4, version 0
        0x34, 0x00, 0x01, 0x80,                          // original tuple
        0x14, 0x00, 0x01, 0x80,                          //   addresses
        0x08, 0x00, 0x01, 0x00, 10,   200,  1,    1,     //     source
        0x08, 0x00, 0x02, 0x00, 10,   200,  1,    2,     //     destination
        0x1c, 0x00, 0x02, 0x80,                          //   protocol and ports
        0x05, 0x00, 0x01, 0x00, 0x11, 0x00, 0x00, 0x00,  //     UDP
        0x06, 0x00, 0x02, 0x00, 0xb0, 0x90, 0x00, 0x00,  //     45200
        0x06, 0x00, 0x03, 0x00, 0x1b, 0x59, 0x00, 0x00,  //     7001
    };
    EXPECT_EQ(ConntrackRequest::deleteConnection(connection, 7), expected);

    connection.family = AF_INET6;
    const auto ipv6 = ConntrackRequest::deleteConnection(connection, 7);
    EXPECT_EQ(ipv6.size(), expected.size() + 2 * 12) << "16-byte addresses";
    EXPECT_EQ(ipv6[16], AF_INET6);
}

TEST(ConntrackRequest, DeletesEveryConnectionOfAMarkInBothFamilies) {
    const Bytes expected = {
        0x24, 0x00, 0x00, 0x00, 0x02, 0x01, 0x05, 0x00,  // length, ctnetlink delete, request+ack
        0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // sequence, port
        0x00, 0x00, 0x00, 0x00,                          // any family, version 0
        0x08, 0x00, 0x08, 0x00, 0x00, 0x02, 0x00, 0x00,  // mark
        0x08, 0x00, 0x15, 0x00, 0x00, 0xff, 0x00, 0x00,  // under this mask
    };
    EXPECT_EQ(ConntrackRequest::deleteMarked(0x00020000, 0x00ff0000, 3), expected);
}

}  // namespace
}  // namespace tarnwick
