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

}  // namespace tarnwick
