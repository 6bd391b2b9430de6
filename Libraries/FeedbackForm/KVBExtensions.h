#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// Whether the whole text is an e-mail address of the shape the help desk accepts: a local part
// of ASCII letters, digits and . _ % + -, one "@", one or more labels of letters, digits and
// hyphens each followed by a dot, and a final part of 2 to 64 ASCII letters.
bool kvbIsValidEmail(std::string_view text);

// Every byte but the unreserved characters (letters, digits, "-", ".", "_", "~") as %XX, so a
// value placed in a query can never add a parameter or change another ("&", "=", "+", "#").
std::string kvbPercentEncoded(std::string_view text);

// White space and line breaks removed at both ends.
std::string kvbTrimmed(std::string_view text);

}  // namespace tarnwick
