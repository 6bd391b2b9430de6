#pragma once

#include "Describe.h"
#include "Foundation/Value.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

namespace tarnwick {

// The optional context of a log entry: a value of any type with a textual description. Plain
// values and key/value objects are kept as they are (the JSON form writes them as JSON values, and
// a destination may read an object's members); other values are described only when a destination
// renders the entry, on that destination's queue.
class LogValue {
public:
    LogValue() = default;
    LogValue(std::string text) : m_value(std::move(text)) {}
    LogValue(const char* text) : m_value(std::string(text)) {}
    LogValue(bool flag) : m_value(flag) {}
    LogValue(int number) : m_value(static_cast<std::int64_t>(number)) {}
    LogValue(std::int64_t number) : m_value(number) {}
    LogValue(double number) : m_value(number) {}
    LogValue(Value::Dictionary object) : m_value(std::move(object)) {}

    // A value whose description is made when the entry is rendered.
    template <typename T>
    static LogValue describing(T value) {
        LogValue result;
        result.m_value = Describer([value = std::move(value)] { return describe(value); });
        return result;
    }

    bool hasValue() const { return !std::holds_alternative<std::monostate>(m_value); }
    // The key/value object, when the context is one.
    const Value::Dictionary* asDictionary() const {
        return std::get_if<Value::Dictionary>(&m_value);
    }
    std::string description() const;

    using Describer = std::function<std::string()>;
    using Storage = std::variant<std::monostate, std::string, bool, std::int64_t, double,
                                 Value::Dictionary, Describer>;
    const Storage& storage() const { return m_value; }

private:
    Storage m_value;
};

}  // namespace tarnwick
