#include "PropertyList.h"

#include "OutsideFile.h"
#include "PropertyListPrecheck.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace tarnwick {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Strings are read with their stored length, and depth is counted even though the precheck
// already bounds it, so a node libplist builds in some unforeseen way still cannot take the
// process down.
Result<Value, std::string> fromNode(plist_t node, std::size_t depth) {
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
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return Value(text != nullptr ? std::string(text, length) : std::string());
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
            return Value(bytes != nullptr ? Value::Data(begin, begin + length) : Value::Data());
        }
        case PLIST_ARRAY: {
            if (depth >= Value::kMaximumDepth) {
                return Failure{std::string("nested too deeply")};
            }
            Value::Array items;
            const std::uint32_t count = plist_array_get_size(node);
            for (std::uint32_t i = 0; i < count; ++i) {
                auto item = fromNode(plist_array_get_item(node, i), depth + 1);
                if (!item) {
                    return item;
                }
                items.push_back(std::move(*item));
            }
            return Value(std::move(items));
        }
        case PLIST_DICT: {
            if (depth >= Value::kMaximumDepth) {
                return Failure{std::string("nested too deeply")};
            }
            Value::Dictionary members;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            std::optional<std::string> failure;
            for (;;) {
                // Keys are read as C strings; the precheck refused documents whose keys hold a NUL.
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iterator, &key, &item);
                if (item == nullptr) {
                    std::free(key);
                    break;
                }
                auto value = fromNode(item, depth + 1);
                if (!value) {
                    std::free(key);
                    failure = value.error();
                    break;
                }
                members.emplace(key != nullptr ? key : "", std::move(*value));
                std::free(key);
            }
            std::free(iterator);
            if (failure) {
                return Failure{std::move(*failure)};
            }
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

Result<Value, std::string> PropertyList::parse(std::string_view bytes) {
    if (bytes.empty()) {
        return Failure{std::string("an empty document")};
    }
    if (bytes.size() > kMaximumSize) {
        return Failure{"a document of " + std::to_string(bytes.size()) + " bytes, more than " +
                       std::to_string(kMaximumSize)};
    }
    if (auto checked = PropertyListPrecheck::check(bytes); !checked) {
        return Failure{checked.error()};
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return Failure{std::string("not a property list")};
    }
    PlistPtr owner(root);
    return fromNode(root, 0);
}

Result<Value, std::string> PropertyList::read(const std::filesystem::path& file) {
    auto bytes = OutsideFile::read(file, kMaximumSize);
    if (!bytes) {
        return Failure{bytes.error().message};
    }
    return parse(*bytes);
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

std::string PropertyList::toBinary(const Value& value) {
    PlistPtr root(toNode(value));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    std::string data(bytes != nullptr ? bytes : "", bytes != nullptr ? length : 0);
    plist_to_bin_free(bytes);
    return data;
}

}  // namespace tarnwick
