#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnwick {

// The three screens of the main window, titled by their raw values, in side-bar order.
enum class AppActiveScreenType : unsigned char {
    appMonitor,
    connectionsMonitor,
    settings,
};

inline constexpr std::array<AppActiveScreenType, 3> allAppActiveScreenTypes = {
    AppActiveScreenType::appMonitor, AppActiveScreenType::connectionsMonitor,
    AppActiveScreenType::settings};

std::string_view rawValue(AppActiveScreenType screen);
std::optional<AppActiveScreenType> appActiveScreenTypeFromRawValue(std::string_view rawValue);

}  // namespace tarnwick
