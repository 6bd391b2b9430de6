#include "ValueJSON.h"

#include "Base64.h"

#include <charconv>
#include <cstdint>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

constexpr const char* kDataKey = "$data";

Value valueFromJson(const Json& json, std::size_t depth);

}  // namespace

Json jsonFromValue(const Value& value) {
    if (value.isNull()) {
        return nullptr;
    }
    if (auto flag = value.asBool()) {
        return *flag;
    }
    if (auto integer = value.asInteger()) {
        return *integer;
    }
    if (auto real = value.asReal()) {
        return *real;
    }
    if (auto text = value.asString()) {
        return *text;
    }
    if (auto data = value.asData()) {
        return Json{{kDataKey, base64Encode(data->data(), data->size())}};
    }
    if (const auto* items = value.asArray()) {
        Json array = Json::array();
        for (const auto& item : *items) {
            array.push_back(jsonFromValue(item));
        }
        return array;
    }
    Json object = Json::object();
    if (const auto* members = value.asDictionary()) {
        for (const auto& [key, item] : *members) {
            object[key] = jsonFromValue(item);
        }
    }
    return object;
}

void appendJSONString(std::string& out, std::string_view text) {
    // Plain printable ASCII, by far the usual text, is written as it is; anything else (escapes,
    // other UTF-8, bytes to replace) the way the library writes it, so the output never differs.
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x20 || code >= 0x7f || byte == '"' || byte == '\\') {
            out += Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
            return;
        }
    }
    out += '"';
    out += text;
    out += '"';
}

void appendJSON(std::string& out, const Value& value) {
    if (value.isNull()) {
        out += "null";
    } else if (auto flag = value.asBool()) {
        out += *flag ? "true" : "false";
    } else if (auto integer = value.asInteger()) {
        char digits[24];
        const auto written = std::to_chars(digits, digits + sizeof(digits), *integer);
        out.append(digits, written.ptr);
    } else if (auto real = value.asReal()) {
        out += Json(*real).dump();
    } else if (auto text = value.asString()) {
        appendJSONString(out, *text);
    } else if (auto data = value.asData()) {
        out += "{\"";
        out += kDataKey;
        out += "\":";
        appendJSONString(out, base64Encode(data->data(), data->size()));
        out += '}';
    } else if (const auto* items = value.asArray()) {
        out += '[';
        for (std::size_t index = 0; index < items->size(); ++index) {
            if (index > 0) {
                out += ',';
            }
            appendJSON(out, (*items)[index]);
        }
        out += ']';
    } else {
        out += '{';
        if (const auto* members = value.asDictionary()) {
            // The dictionary keeps its keys in the order the library writes an object's.
            bool first = true;
            for (const auto& [key, item] : *members) {
                if (!first) {
                    out += ',';
                }
                first = false;
                appendJSONString(out, key);
                out += ':';
                appendJSON(out, item);
            }
        }
        out += '}';
    }
}

Value valueFromJson(const Json& json) {
    return valueFromJson(json, 0);
}

namespace {

Value valueFromJson(const Json& json, std::size_t depth) {
    if (depth >= Value::kMaximumDepth && (json.is_array() || json.is_object())) {
        return Value();
    }
    switch (json.type()) {
        case Json::value_t::boolean:
            return Value(json.get<bool>());
        case Json::value_t::number_integer:
            return Value(json.get<std::int64_t>());
        case Json::value_t::number_unsigned: {
            const auto number = json.get<std::uint64_t>();
            if (number > static_cast<std::uint64_t>(INT64_MAX)) {
                return Value(static_cast<double>(number));
            }
            return Value(static_cast<std::int64_t>(number));
        }
        case Json::value_t::number_float:
            return Value(json.get<double>());
        case Json::value_t::string:
            return Value(json.get<std::string>());
        case Json::value_t::array: {
            Value::Array items;
            items.reserve(json.size());
            for (const auto& item : json) {
                items.push_back(valueFromJson(item, depth + 1));
            }
            return Value(std::move(items));
        }
        case Json::value_t::object: {
            if (json.size() == 1 && json.contains(kDataKey) && json[kDataKey].is_string()) {
                if (auto bytes = base64Decode(json[kDataKey].get<std::string>())) {
                    return Value(std::move(*bytes));
                }
            }
            Value::Dictionary members;
            for (const auto& [key, item] : json.items()) {
                members.emplace(key, valueFromJson(item, depth + 1));
            }
            return Value(std::move(members));
        }
        default:
            return Value();
    }
}

}  // namespace

}  // namespace tarnwick
