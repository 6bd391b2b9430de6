#pragma once

#include "Describe.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

namespace tarnwick {

// The optional context of a log entry: a value of any type with a textual description. Plain
// values are kept as they are (the JSON form writes them as JSON values); other values are
// described only when a destination renders the entry, on that destination's queue.
class LogValue {
public:
    LogValue() = default;
    LogValue(std::string text) : m_value(std::move(text)) {}
    LogValue(const char* text) : m_value(std::string(text)) {}
    LogValue(bool flag) : m_value(flag) {}
    LogValue(int number) : m_value(static_cast<std::int64_t>(number)) {}
    LogValue(std::int64_t number) : m_value(number) {}
    LogValue(double number) : m_value(number) {}

    // A value whose description is made when the entry is rendered.
    template <typename T>
    static LogValue describing(T value) {
        LogValue result;
        result.m_value = Describer([value = std::move(value)] { return describe(value); });
        return result;
    }

    bool hasValue() const { return !std::holds_alternative<std::monostate>(m_value); }
    std::string description() const;

    using Describer = std::function<std::string()>;
    using Storage =
        std::variant<std::monostate, std::string, bool, std::int64_t, double, Describer>;
    const Storage& storage() const { return m_value; }

private:
    Storage m_value;
};

}  // namespace tarnwick
