#include "JSONReader.h"

namespace tarnwick {

Result<nlohmann::json, std::string> JSONReader::parse(std::string_view text,
                                                      std::size_t maximumDepth) {
    using Json = nlohmann::json;
    bool tooDeep = false;
    // The callback sees the depth of each container as it opens. Refusing one makes the parser skip
    // its contents without keeping them, so a refused document never grows a deep tree.
    const Json::parser_callback_t limitDepth = [&](int depth, Json::parse_event_t event, Json&) {
        if ((event == Json::parse_event_t::array_start ||
             event == Json::parse_event_t::object_start) &&
            static_cast<std::size_t>(depth) >= maximumDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    };
    const auto deepMessage = [&] {
        return "arrays and objects nested deeper than " + std::to_string(maximumDepth) + " levels";
    };
    Json document;
    try {
        document = Json::parse(text.begin(), text.end(), limitDepth);
    } catch (const Json::exception& error) {
        // A document too deep to read is refused for that, even when it also breaks off later.
        if (tooDeep) {
            return Failure{deepMessage()};
        }
        // Without the library's "[json.exception.parse_error.101] " tag, the text says what and
        // where.
        std::string_view message = error.what();
        if (const auto tag = message.find("] "); message.starts_with('[') && tag != message.npos) {
            message.remove_prefix(tag + 2);
        }
        return Failure{std::string(message)};
    }
    if (tooDeep) {
        return Failure{deepMessage()};
    }
    return document;
}

}  // namespace tarnwick
