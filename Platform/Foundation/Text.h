#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// `text` without the ASCII white space (and NUL, which kernel and tool output leave at the end of
// a value) at either end.
[[nodiscard]] std::string_view trimmed(std::string_view text);

// `text` with the ASCII letters in lower case; other bytes, UTF-8 ones included, stay as they are,
// so the result never depends on the process's locale.
[[nodiscard]] std::string asciiLowercased(std::string text);

}  // namespace tarnwick
