#include "KVBExtensions.h"

#include <cstddef>

namespace tarnwick {

namespace {

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLocalPartCharacter(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '.' || c == '_' || c == '%' || c == '+' ||
           c == '-';
}

bool isLabelCharacter(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '-';
}

}  // namespace

// The pattern "[A-Z0-9a-z._%+-]+@([A-Za-z0-9-]+\.)+[A-Za-z]{2,64}" checked by hand: the local part
// may hold "@"-free characters only, so the first "@" splits; the domain is labels ending in a dot
// (labels never hold dots) followed by the letters-only final part.
bool kvbIsValidEmail(std::string_view text) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos || at == 0) {
        return false;
    }
    for (std::size_t i = 0; i < at; ++i) {
        if (!isLocalPartCharacter(text[i])) {
            return false;
        }
    }
    const std::string_view domain = text.substr(at + 1);
    const std::size_t lastDot = domain.rfind('.');
    if (lastDot == std::string_view::npos) {
        return false;
    }
    const std::string_view finalPart = domain.substr(lastDot + 1);
    if (finalPart.size() < 2 || finalPart.size() > 64) {
        return false;
    }
    for (const char c : finalPart) {
        if (!isAsciiLetter(c)) {
            return false;
        }
    }
    std::size_t labelLength = 0;
    for (std::size_t i = 0; i <= lastDot; ++i) {
        const char c = domain[i];
        if (c == '.') {
            if (labelLength == 0) {
                return false;
            }
            labelLength = 0;
        } else if (isLabelCharacter(c)) {
            ++labelLength;
        } else {
            return false;
        }
    }
    return true;
}

std::string kvbPercentEncoded(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char c : text) {
        if (isAsciiLetter(c) || isAsciiDigit(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded.push_back(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded.push_back('%');
            encoded.push_back(hex[byte >> 4]);
            encoded.push_back(hex[byte & 0x0F]);
        }
    }
    return encoded;
}

std::string kvbTrimmed(std::string_view text) {
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    std::size_t start = 0;
    std::size_t end = text.size();
    while (start < end && isSpace(text[start])) {
        ++start;
    }
    while (end > start && isSpace(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(start, end - start));
}

}  // namespace tarnwick
