#include "JSONCoding.h"

#include "Foundation/JSONReader.h"

namespace tarnwick {

namespace {

const char* typeName(const nlohmann::json& value) {
    return value.type_name();
}

DecodingError mismatch(const JSONCoding::CodingPath& path, const std::string& expected,
                       const nlohmann::json& found) {
    if (found.is_null()) {
        return DecodingError(DecodingError::Kind::valueNotFound, path,
                             "Expected " + expected + " value but found null instead.");
    }
    return DecodingError(
        DecodingError::Kind::typeMismatch, path,
        "Expected to decode " + expected + " but found " + typeName(found) + " instead.");
}

}  // namespace

Result<std::string, std::string> JSONCoding::encode(const nlohmann::ordered_json& document) {
    std::string text;
    try {
        text = document.dump();
    } catch (const nlohmann::json::exception& error) {
        return Failure{std::string(error.what())};
    }
    // A "/" can only stand inside a string, where "\/" means the same.
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text) {
        if (character == '/') {
            escaped += '\\';
        }
        escaped += character;
    }
    return escaped;
}

nlohmann::json JSONCoding::parse(std::string_view bytes) {
    auto document = JSONReader::parse(bytes);
    if (!document) {
        throw DecodingError(DecodingError::Kind::dataCorrupted, {},
                            "The given data was not valid JSON. " + document.error());
    }
    return std::move(document).value();
}

void JSONCoding::requireObject(const nlohmann::json& value, const CodingPath& path) {
    if (!value.is_object()) {
        throw mismatch(path, "a dictionary", value);
    }
}

const nlohmann::json& JSONCoding::member(const nlohmann::json& object, const std::string& key,
                                         const CodingPath& path) {
    requireObject(object, path);
    const auto found = object.find(key);
    if (found == object.end()) {
        throw DecodingError(DecodingError::Kind::keyNotFound, path,
                            "No value associated with key \"" + key + "\".");
    }
    return *found;
}

std::string JSONCoding::string(const nlohmann::json& value, const CodingPath& path) {
    if (!value.is_string()) {
        throw mismatch(path, "a string", value);
    }
    return value.get<std::string>();
}

std::optional<std::string> JSONCoding::optionalString(const nlohmann::json& object,
                                                      const std::string& key,
                                                      const CodingPath& path) {
    requireObject(object, path);
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return std::nullopt;
    }
    return string(*found, appending(path, key));
}

const nlohmann::json& JSONCoding::array(const nlohmann::json& value, const CodingPath& path) {
    if (!value.is_array()) {
        throw mismatch(path, "an array", value);
    }
    return value;
}

std::vector<std::string> JSONCoding::strings(const nlohmann::json& value, const CodingPath& path) {
    std::vector<std::string> result;
    std::size_t index = 0;
    for (const auto& item : array(value, path)) {
        result.push_back(string(item, appending(path, "Index " + std::to_string(index++))));
    }
    return result;
}

JSONCoding::CodingPath JSONCoding::appending(CodingPath path, std::string component) {
    path.push_back(std::move(component));
    return path;
}

}  // namespace tarnwick
