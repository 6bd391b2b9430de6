#include "URLText.h"

#include "Tools/WhoIs.h"

#include <cctype>

namespace tarnwick {

namespace {

bool isURLCharacter(unsigned char c) {
    if (std::isalnum(c)) {
        return true;
    }
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return allowed.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

bool isURLText(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!isURLCharacter(c)) {
            return false;
        }
        if (c == '%' &&
            (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
             !std::isxdigit(static_cast<unsigned char>(text[i + 2])))) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> urlHost(std::string_view text) {
    if (!isURLText(text)) {
        return std::nullopt;
    }
    const auto scheme = text.find("://");
    if (scheme == std::string_view::npos || scheme == 0) {
        return std::nullopt;
    }
    const auto host = WhoIs::hostPart(text);
    if (host.empty()) {
        return std::nullopt;
    }
    return std::string(host);
}

}  // namespace tarnwick
