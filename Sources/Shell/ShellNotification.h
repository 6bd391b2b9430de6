#pragma once

#include <string_view>

namespace tarnwick::ShellNotification {

// Asks the main layout for a screen: the object is an AppActiveScreenType or a SettingsTab.
inline constexpr std::string_view switchScreen = "switchScreen";
// Asks the connection monitor to start or stop; no object.
inline constexpr std::string_view toggleConnectionMonitor = "toggleConnectionMonitor";

}  // namespace tarnwick::ShellNotification
