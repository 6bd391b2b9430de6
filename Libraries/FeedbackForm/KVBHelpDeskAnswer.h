#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Reads what the help desk answers to an upload: a JSON object whose "upload" object carries the
// upload's "token" string. The answer is outside input: anything else, an answer larger than
// `maximumSize` or nested deeper than `maximumDepth` gives no token, never an exception.
class KVBHelpDeskAnswer {
public:
    static constexpr std::size_t maximumSize = 1024 * 1024;
    static constexpr std::size_t maximumDepth = 32;

    static std::optional<std::string> uploadToken(std::string_view body);
};

}  // namespace tarnwick
