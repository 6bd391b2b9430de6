#include "NetworkExtension/Flows/AllowedDatagramFlows.h"
#include "NetworkExtension/Flows/SocketDestroyEvent.h"
#include "fuzz/FuzzEntries.h"

#include <netinet/in.h>
#include <span>
#include <sys/socket.h>

namespace tarnwick::fuzz {

// The bytes as a datagram of socket-end announcements, each event matched against remembered
// connections as the extension matches them.
int fuzzSocketDestroyEvent(const std::uint8_t* data, std::size_t size) {
    AllowedDatagramFlows allowed;
    FlowTable::Key connection;
    connection.family = AF_INET;
    connection.protocol = IPPROTO_UDP;
    connection.source = {127, 0, 0, 1};
    connection.destination = {127, 0, 0, 2};
    connection.sourcePort = 45999;
    connection.destinationPort = 5555;
    allowed.record(connection);
    for (const auto& ended : SocketDestroyEvent::parse(std::span(data, size))) {
        (void)allowed.take(ended);
    }
    return 0;
}

}  // namespace tarnwick::fuzz
