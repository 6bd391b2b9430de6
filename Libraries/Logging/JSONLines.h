#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// Reads the JSON the remote log destinations keep in their files. Those files may have been cut
// short by a crash or changed by someone else, so a reader never trusts them: a line or document
// that does not parse, or that nests deeper than `maximumDepth`, is passed over, never thrown.
class JSONLines {
public:
    // Entries are flat objects; anything nested this deep is not one of ours.
    static constexpr std::size_t maximumDepth = 64;

    using UnparsableLine = std::function<void(std::size_t lineNumber)>;

    JSONLines() = delete;

    // The non-empty objects of a text of lines. A line counts when it begins with "{" and ends
    // with "}"; such a line that is not JSON (lines are numbered from 1) is reported to
    // `unparsable` and skipped; any other line is skipped silently.
    static std::vector<nlohmann::json> objects(std::string_view text,
                                               const UnparsableLine& unparsable = {});

    // The whole text as one JSON object; nothing for any other text.
    static std::optional<nlohmann::json> object(std::string_view text);
};

}  // namespace tarnwick
