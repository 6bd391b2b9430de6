#include "NetworkExtension/Flows/DNSResponse.h"
#include "fuzz/FuzzEntries.h"

#include <span>

namespace tarnwick::fuzz {

int fuzzDNSResponse(const std::uint8_t* data, std::size_t size) {
    (void)DNSResponse::parse(std::span(data, size));
    return 0;
}

}  // namespace tarnwick::fuzz
