#include "KVBHelpDeskAnswer.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

bool KVBHelpDeskAnswer::nestsAtMost(std::string_view json, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : json) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

std::optional<std::string> KVBHelpDeskAnswer::uploadToken(std::string_view body) {
    if (body.size() > maximumSize || !nestsAtMost(body, maximumDepth)) {
        return std::nullopt;
    }
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    const auto upload = json.find("upload");
    if (upload == json.end() || !upload->is_object()) {
        return std::nullopt;
    }
    const auto token = upload->find("token");
    if (token == upload->end() || !token->is_string()) {
        return std::nullopt;
    }
    auto text = token->get<std::string>();
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace tarnwick
