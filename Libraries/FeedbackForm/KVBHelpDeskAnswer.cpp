#include "KVBHelpDeskAnswer.h"

#include "Foundation/JSONReader.h"

namespace tarnwick {

std::optional<std::string> KVBHelpDeskAnswer::uploadToken(std::string_view body) {
    if (body.size() > maximumSize) {
        return std::nullopt;
    }
    const auto parsed = JSONReader::parse(body, maximumDepth);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    const auto& json = *parsed;
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
