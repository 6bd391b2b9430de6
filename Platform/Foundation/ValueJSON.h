#pragma once

#include "Value.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace tarnwick {

// A typed value as JSON and back. Booleans, numbers, strings, arrays and dictionaries map onto
// their JSON kinds; data is written as {"$data": "<base64>"}; a null value is JSON null. Reading
// back gives every value its type again (integers stay integers).
nlohmann::json jsonFromValue(const Value& value);
// The same JSON as jsonFromValue(value).dump() with invalid UTF-8 replaced by U+FFFD, appended to
// `out` without building the document first: for messages written once per network flow.
void appendJSON(std::string& out, const Value& value);
// A string as a JSON string, as dump() writes it.
void appendJSONString(std::string& out, std::string_view text);
// Read outside JSON with JSONReader first, which refuses documents nested too deeply. Members
// nested deeper than Value::kMaximumDepth are read as null values, never by deeper recursion.
Value valueFromJson(const nlohmann::json& json);

}  // namespace tarnwick
