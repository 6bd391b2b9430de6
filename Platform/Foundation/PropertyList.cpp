#include "PropertyList.h"

#include <plist/plist.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace tarnwick {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

Value fromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return Value(value != 0);
        }
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return Value(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return Value(value);
        }
        case PLIST_STRING: {
            char* text = nullptr;
            plist_get_string_val(node, &text);
            std::string value = text != nullptr ? text : "";
            std::free(text);
            return Value(std::move(value));
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            std::uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            Value::Data value(bytes, bytes + length);
            std::free(bytes);
            return Value(std::move(value));
        }
        case PLIST_ARRAY: {
            Value::Array items;
            const std::uint32_t count = plist_array_get_size(node);
            for (std::uint32_t i = 0; i < count; ++i) {
                items.push_back(fromNode(plist_array_get_item(node, i)));
            }
            return Value(std::move(items));
        }
        case PLIST_DICT: {
            Value::Dictionary members;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iterator, &key, &item);
                if (item == nullptr) {
                    std::free(key);
                    break;
                }
                members.emplace(key != nullptr ? key : "", fromNode(item));
                std::free(key);
            }
            std::free(iterator);
            return Value(std::move(members));
        }
        default:
            // Dates, UIDs and keys have no counterpart we read.
            return Value();
    }
}

plist_t toNode(const Value& value) {
    if (auto flag = value.asBool()) {
        return plist_new_bool(*flag ? 1 : 0);
    }
    if (auto integer = value.asInteger()) {
        return plist_new_uint(static_cast<std::uint64_t>(*integer));
    }
    if (auto real = value.asReal()) {
        return plist_new_real(*real);
    }
    if (auto text = value.asString()) {
        return plist_new_string(text->c_str());
    }
    if (auto data = value.asData()) {
        return plist_new_data(reinterpret_cast<const char*>(data->data()), data->size());
    }
    if (const auto* items = value.asArray()) {
        plist_t array = plist_new_array();
        for (const auto& item : *items) {
            plist_array_append_item(array, toNode(item));
        }
        return array;
    }
    plist_t dictionary = plist_new_dict();
    if (const auto* members = value.asDictionary()) {
        for (const auto& [key, item] : *members) {
            plist_dict_set_item(dictionary, key.c_str(), toNode(item));
        }
    }
    return dictionary;
}

}  // namespace

std::optional<Value> PropertyList::parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    PlistPtr owner(root);
    return fromNode(root);
}

std::optional<Value> PropertyList::read(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return parse(bytes.str());
}

std::string PropertyList::toXml(const Value& value) {
    PlistPtr root(toNode(value));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text(xml != nullptr ? xml : "", length);
    plist_to_xml_free(xml);
    return text;
}

}  // namespace tarnwick
