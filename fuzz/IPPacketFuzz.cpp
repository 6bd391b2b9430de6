#include "NetworkExtension/Flows/DNSResponse.h"
#include "NetworkExtension/Flows/IPPacket.h"
#include "fuzz/FuzzEntries.h"

#include <span>

namespace tarnwick::fuzz {

// The bytes as a queued packet; the payload of a UDP packet as a DNS answer, as the extension
// reads the answers it sees.
int fuzzIPPacket(const std::uint8_t* data, std::size_t size) {
    const auto packet = IPPacket::parse(std::span(data, size));
    if (!packet) {
        return 0;
    }
    (void)packet->sourceAddress();
    (void)packet->destinationAddress();
    (void)DNSResponse::parse(packet->payload);
    return 0;
}

}  // namespace tarnwick::fuzz
