#pragma once

#include "Value.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Reading and writing property lists, XML or binary.
class PropertyList {
public:
    // Nothing when the bytes are not a property list.
    static std::optional<Value> parse(std::string_view bytes);
    static std::optional<Value> read(const std::filesystem::path& file);
    static std::string toXml(const Value& value);
};

}  // namespace tarnwick
