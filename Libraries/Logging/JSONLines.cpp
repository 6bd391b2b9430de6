#include "JSONLines.h"

#include "Foundation/JSONReader.h"

namespace tarnwick {

namespace {

std::optional<nlohmann::json> parsed(std::string_view text) {
    auto json = JSONReader::parse(text, JSONLines::maximumDepth);
    if (!json) {
        return std::nullopt;
    }
    return std::move(*json);
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

}  // namespace tarnwick
