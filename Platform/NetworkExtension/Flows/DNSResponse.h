#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The addresses a DNS answer gives for the name that was asked, following CNAME records from that
// name. Records about other names are ignored, so an answer cannot attach a name to addresses
// that were not looked up by it. Malformed messages (cut short, compression loops, counts that do
// not fit) do not parse. At most `kMaximumAddresses` addresses are taken from one answer: an answer
// that lists thousands costs no more than one that lists a few.
struct DNSResponse {
    static constexpr std::size_t kMaximumAddresses = 32;

    struct Address {
        std::string address;  // as inet_ntop writes it
        std::uint32_t timeToLive = 0;
    };

    std::string questionName;  // lower case, no trailing dot
    std::vector<Address> addresses;

    // Nothing when the bytes are not a successful response to a single-name question.
    static std::optional<DNSResponse> parse(std::span<const std::uint8_t> message);
};

}  // namespace tarnwick
