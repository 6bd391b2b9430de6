#pragma once

#include <string_view>

namespace tarnwick {

// `text` without the ASCII white space (and NUL, which kernel and tool output leave at the end of
// a value) at either end.
[[nodiscard]] std::string_view trimmed(std::string_view text);

}  // namespace tarnwick
