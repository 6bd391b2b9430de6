#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>

namespace tarnwick {

// The packet queues that some program has bound in this network namespace, as the kernel lists
// them: one line per queue, its number first.
class NetfilterQueueBindings {
public:
    static constexpr const char* kListing = "/proc/net/netfilter/nfnetlink_queue";

    static std::set<std::uint16_t> parse(std::string_view listing);
    // Nothing when the listing cannot be read (no queue was ever bound here).
    static std::optional<std::set<std::uint16_t>> read(
        const std::filesystem::path& listing = kListing);
};

}  // namespace tarnwick
