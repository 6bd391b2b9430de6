#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarnwick {

// A typed property-list value: what user defaults and Info.plist files hold. Readers ask for the
// type they expect and get nothing when the stored value has another type.
class Value {
public:
    // Copying, comparing, writing and destroying a value recurse once per level of nesting. Every
    // reader of outside bytes (JSON, property lists) refuses documents nested deeper than this, so
    // no value that exists needs more stack than these few levels take.
    static constexpr std::size_t kMaximumDepth = 512;

    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;

    Value() = default;
    Value(bool value) : m_storage(value) {}
    Value(int value) : m_storage(static_cast<std::int64_t>(value)) {}
    Value(std::int64_t value) : m_storage(value) {}
    Value(double value) : m_storage(value) {}
    Value(const char* value) : m_storage(std::string(value)) {}
    Value(std::string value) : m_storage(std::move(value)) {}
    Value(Data value) : m_storage(std::move(value)) {}
    Value(Array value) : m_storage(std::move(value)) {}
    Value(Dictionary value) : m_storage(std::move(value)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(m_storage); }

    std::optional<bool> asBool() const { return get<bool>(); }
    std::optional<std::int64_t> asInteger() const { return get<std::int64_t>(); }
    // Integers read as reals too, as number objects do.
    std::optional<double> asReal() const;
    std::optional<std::string> asString() const { return get<std::string>(); }
    std::optional<Data> asData() const { return get<Data>(); }
    const Array* asArray() const { return std::get_if<Array>(&m_storage); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&m_storage); }

    // The member `key` of a dictionary value, or nothing.
    const Value* find(const std::string& key) const;

    bool operator==(const Value& other) const = default;

private:
    template <typename T>
    std::optional<T> get() const {
        if (const T* value = std::get_if<T>(&m_storage)) {
            return *value;
        }
        return std::nullopt;
    }

    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Array, Dictionary>
        m_storage;
};

}  // namespace tarnwick
