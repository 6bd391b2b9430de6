#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// `text` without the ASCII white space (and NUL, which kernel and tool output leave at the end of
// a value) at either end.
[[nodiscard]] std::string_view trimmed(std::string_view text);

// `text` with the ASCII letters in lower case; other bytes, UTF-8 ones included, stay as they are,
// so the result never depends on the process's locale.
[[nodiscard]] std::string asciiLowercased(std::string text);
// `text` as one line that shows as it is wherever it is written (a log, a terminal): line breaks,
// escape codes and other control characters, bytes outside ASCII and the backslash become escapes
// ("\n", "\t", "\\", "\x1b"), and at most `limit` bytes of `text` are kept, a cut marked by
// "...". For text that comes from outside.
[[nodiscard]] std::string printableText(std::string_view text, std::size_t limit);
// The decimal number that is the whole of `text`; nothing for an empty text, one out of range, or
// anything before or after the digits.
template <typename Number>
[[nodiscard]] std::optional<Number> wholeNumber(std::string_view text) {
    Number number{};
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || at != end) {
        return std::nullopt;
    }
    return number;
}

}  // namespace tarnwick
