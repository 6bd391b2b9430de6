#pragma once

#include "DecodingError.h"
#include "Foundation/Result.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// Writing and reading the JSON documents kept in the settings. Documents are written as they have
// always been stored: compact, members in the order the writer gives them, "/" escaped as "\/",
// other characters beyond ASCII as plain UTF-8. Readers walk a document with the helpers below,
// which throw a DecodingError that names the failing place.
class JSONCoding {
public:
    using CodingPath = std::vector<std::string>;

    JSONCoding() = delete;

    // The reason when the document cannot be written (a text that is not UTF-8).
    static Result<std::string, std::string> encode(const nlohmann::ordered_json& document);
    // Throws dataCorrupted when the bytes are not one JSON value or are nested too deeply.
    static nlohmann::json parse(std::string_view bytes);

    static void requireObject(const nlohmann::json& value, const CodingPath& path);
    static const nlohmann::json& member(const nlohmann::json& object, const std::string& key,
                                        const CodingPath& path);
    static std::string string(const nlohmann::json& value, const CodingPath& path);
    // A missing or null member gives nothing; any other value must be a string.
    static std::optional<std::string> optionalString(const nlohmann::json& object,
                                                     const std::string& key,
                                                     const CodingPath& path);
    static const nlohmann::json& array(const nlohmann::json& value, const CodingPath& path);
    static std::vector<std::string> strings(const nlohmann::json& value, const CodingPath& path);

    static CodingPath appending(CodingPath path, std::string component);
};

}  // namespace tarnwick
