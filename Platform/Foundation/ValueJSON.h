#pragma once

#include "Value.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

// A typed value as JSON and back. Booleans, numbers, strings, arrays and dictionaries map onto
// their JSON kinds; data is written as {"$data": "<base64>"}; a null value is JSON null. Reading
// back gives every value its type again (integers stay integers).
nlohmann::json jsonFromValue(const Value& value);
Value valueFromJson(const nlohmann::json& json);

}  // namespace tarnwick
