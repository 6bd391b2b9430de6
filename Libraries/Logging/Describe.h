#pragma once

#include <charconv>
#include <concepts>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

namespace tarnwick {

template <typename T>
concept Streamable = requires(std::ostream& stream, const T& value) {
    stream << value;
};

// The textual description of a value that is logged: strings unchanged, Booleans as "true" and
// "false", numbers in their shortest exact form, anything else through its stream operator. A type
// without a description cannot be logged (it does not compile).
template <typename T>
std::string describe(const T& value) {
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_arithmetic_v<T>) {
        char buffer[64];
        auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
        return error == std::errc() ? std::string(buffer, end) : std::string();
    } else {
        static_assert(Streamable<T>, "a logged value needs a textual description (operator<<)");
        std::ostringstream stream;
        stream << value;
        return stream.str();
    }
}

}  // namespace tarnwick
