#include "NetworkExtension/Flows/AllowedDatagramFlows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <netinet/in.h>
#include <sys/socket.h>

namespace tarnwick {
namespace {

using Address = std::array<std::uint8_t, 16>;

FlowTable::Key udp(Address source, std::uint16_t sourcePort, Address destination,
                   std::uint16_t destinationPort) {
    FlowTable::Key key;
    key.family = AF_INET;
    key.protocol = IPPROTO_UDP;
    key.source = source;
    key.destination = destination;
    key.sourcePort = sourcePort;
    key.destinationPort = destinationPort;
    key.instance = 12345;
    return key;
}

SocketDestroyEvent ended(int family, Address local, std::uint16_t localPort, Address remote = {},
                         std::uint16_t remotePort = 0, int protocol = IPPROTO_UDP) {
    return {family, protocol, local, remote, localPort, remotePort};
}

const Address kClient = {10, 200, 1, 1};
const Address kServer = {10, 200, 1, 2};
const Address kSecondServer = {10, 200, 1, 3};
const Address kMappedClient = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 200, 1, 1};

// Sent from 45200 to two servers (one socket, two destinations), and received on 6000.
const FlowTable::Key kToServer = udp(kClient, 45200, kServer, 7001);
const FlowTable::Key kToSecondServer = udp(kClient, 45200, kSecondServer, 7001);
const FlowTable::Key kInbound = udp(kServer, 5000, kClient, 6000);

TEST(AllowedDatagramFlows, AnEndedSocketTakesTheConnectionsItMayHaveHad) {
    const struct {
        const char* name;
        SocketDestroyEvent socket;
        std::vector<FlowTable::Key> taken;
    } cases[] = {
        {"connected to one server", ended(AF_INET, kClient, 45200, kServer, 7001), {kToServer}},
        {"never connected, any address", ended(AF_INET, {}, 45200), {kToServer, kToSecondServer}},
        {"bound to another address", ended(AF_INET, {10, 200, 1, 9}, 45200), {}},
        {"connected to another port", ended(AF_INET, kClient, 45200, kServer, 7002), {}},
        {"a server's socket", ended(AF_INET, {}, 6000), {kInbound}},
        {"IPv6 socket carrying IPv4",
         ended(AF_INET6, kMappedClient, 45200),
         {kToServer, kToSecondServer}},
        {"another port", ended(AF_INET, kClient, 45201), {}},
        {"a TCP socket", ended(AF_INET, {}, 45200, {}, 0, IPPROTO_TCP), {}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        AllowedDatagramFlows allowed;
        for (const auto& connection : {kToServer, kToSecondServer, kInbound, kToServer}) {
            allowed.record(connection);
        }
        auto tcp = kToServer;
        tcp.protocol = IPPROTO_TCP;
        allowed.record(tcp);
        ASSERT_EQ(allowed.size(), 3u) << "each UDP connection once";

        auto taken = allowed.take(row.socket);
        auto expected = row.taken;
        for (auto& key : expected) {
            key.instance = 0;
        }
        const auto order = [](const FlowTable::Key& a, const FlowTable::Key& b) {
            return a.destination != b.destination ? a.destination < b.destination
                                                  : a.sourcePort < b.sourcePort;
        };
        std::sort(taken.begin(), taken.end(), order);
        std::sort(expected.begin(), expected.end(), order);
        EXPECT_EQ(taken, expected);
        EXPECT_EQ(allowed.size(), 3u - expected.size());
        EXPECT_TRUE(allowed.take(row.socket).empty()) << "handed out once";
    }
}

TEST(AllowedDatagramFlows, TheOldestGoWhenFullAndAllCanBeTaken) {
    AllowedDatagramFlows allowed(2);
    allowed.record(kToServer);
    allowed.record(kToSecondServer);
    allowed.record(kInbound);
    EXPECT_TRUE(allowed.take(ended(AF_INET, kClient, 45200, kServer, 7001)).empty());
    EXPECT_EQ(allowed.takeAll().size(), 2u);
    EXPECT_EQ(allowed.size(), 0u);
}

}  // namespace
}  // namespace tarnwick
