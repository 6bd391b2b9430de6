#include "Text.h"

namespace tarnwick {

namespace {

constexpr std::string_view kBlank{" \t\n\v\f\r\0", 7};

}  // namespace

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

std::string asciiLowercased(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string printableText(std::string_view text, std::size_t limit) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const std::string_view kept = text.substr(0, limit);
    std::string result;
    result.reserve(kept.size() + 3);
    for (const char c : kept) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                result += "\\\\";
                break;
            case '\n':
                result += "\\n";
                break;
            case '\r':
                result += "\\r";
                break;
            case '\t':
                result += "\\t";
                break;
            default:
                if (byte < 0x20 || byte >= 0x7f) {
                    result += "\\x";
                    result += kDigits[byte >> 4];
                    result += kDigits[byte & 0xf];
                } else {
                    result += c;
                }
        }
    }
    if (kept.size() < text.size()) {
        result += "...";
    }
    return result;
}

}  // namespace tarnwick
