#include "NetfilterQueueBindings.h"

#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace tarnwick {

std::set<std::uint16_t> NetfilterQueueBindings::parse(std::string_view listing) {
    std::set<std::uint16_t> queues;
    std::istringstream lines{std::string(listing)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        unsigned long number = 0;
        if (fields >> number && number <= std::numeric_limits<std::uint16_t>::max()) {
            queues.insert(static_cast<std::uint16_t>(number));
        }
    }
    return queues;
}

std::optional<std::set<std::uint16_t>> NetfilterQueueBindings::read(
    const std::filesystem::path& listing) {
    std::ifstream file(listing);
    if (!file) {
        return std::nullopt;
    }
    // 65536 queues at most, one short line each.
    constexpr std::size_t kMaximumSize = 65536 * 64;
    std::string text;
    char chunk[4096];
    while (text.size() < kMaximumSize && file.read(chunk, sizeof chunk).gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(file.gcount()));
    }
    return parse(text);
}

}  // namespace tarnwick
