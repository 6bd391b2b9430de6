#pragma once

#include "Result.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnwick {

// Looks over property-list bytes before libplist sees them, for what would end the process inside
// the library: its binary reader recurses once per level and expands shared objects every time
// they are referred to, its XML reader frees a half-read tree by recursion, and it asserts on a
// string or key that holds a NUL character. A document refused here is never handed to it.
//
// Binary documents are checked exactly: the object graph is walked once from the top object, and
// cycles, nesting deeper than Value::kMaximumDepth, more than kMaximumNodes objects once shared
// ones are expanded, and NUL characters in strings are refused. XML documents are checked for NUL
// bytes and for a nesting estimate that never falls below what libplist builds: every "<array" and
// "<dict" counts as opened, and only the closing tags outside comments, declarations, attribute
// values and the text of other elements count as closed.
class PropertyListPrecheck {
public:
    // Objects (strings, numbers, containers) in the tree libplist would build.
    static constexpr std::size_t kMaximumNodes = std::size_t{1} << 20;
    // Bytes of string and data payload in that tree.
    static constexpr std::size_t kMaximumPayload = std::size_t{64} << 20;

    PropertyListPrecheck() = delete;

    static Result<void, std::string> check(std::string_view bytes);
    static Result<void, std::string> checkBinary(std::string_view bytes);
    static Result<void, std::string> checkXml(std::string_view bytes);
};

}  // namespace tarnwick
