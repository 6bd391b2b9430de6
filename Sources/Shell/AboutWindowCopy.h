#pragma once

#include <string_view>
#include <vector>

namespace tarnwick::AboutWindowCopy {

// The credits of the About window, section by section in the order shown.
struct Section {
    std::string_view title;
    std::vector<std::string_view> entries;
};

const std::vector<Section>& sections();

inline constexpr std::string_view madeIn = "🇺🇦 Made in Ukraine";
inline constexpr std::string_view donationTitle = "Stand with Ukraine!";

}  // namespace tarnwick::AboutWindowCopy
