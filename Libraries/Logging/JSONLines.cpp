#include "JSONLines.h"

namespace tarnwick {

namespace {

std::optional<nlohmann::json> parsed(std::string_view text) {
    if (JSONLines::nestsDeeperThan(text, JSONLines::maximumDepth)) {
        return std::nullopt;
    }
    auto json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (json.is_discarded()) {
        return std::nullopt;
    }
    return json;
}

}  // namespace

std::vector<nlohmann::json> JSONLines::objects(std::string_view text,
                                               const UnparsableLine& unparsable) {
    std::vector<nlohmann::json> result;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() != '{' || line.back() != '}') {
            continue;
        }
        auto json = parsed(line);
        if (!json) {
            if (unparsable) {
                unparsable(lineNumber);
            }
            continue;
        }
        if (json->is_object() && !json->empty()) {
            result.push_back(std::move(*json));
        }
    }
    return result;
}

std::optional<nlohmann::json> JSONLines::object(std::string_view text) {
    auto json = parsed(text);
    if (!json || !json->is_object()) {
        return std::nullopt;
    }
    return json;
}

bool JSONLines::nestsDeeperThan(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return true;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

}  // namespace tarnwick
