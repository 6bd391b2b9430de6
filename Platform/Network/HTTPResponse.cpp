#include "HTTPResponse.h"

#include <algorithm>
#include <cctype>

namespace tarnwick {

std::optional<std::string> HTTPResponse::headerValue(const std::string& name) const {
    const auto sameName = [&name](const std::string& other) {
        return std::equal(
            name.begin(), name.end(), other.begin(), other.end(),
            [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
    };
    for (const auto& [key, value] : headers) {
        if (sameName(key)) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace tarnwick
