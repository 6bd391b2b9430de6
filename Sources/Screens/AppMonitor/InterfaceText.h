#pragma once

#include <string_view>

// The names of the first mascot's frames, as the App Monitor engine asks for them. The interface
// texts of the whole application grow in this namespace; each constant is named after its role.
namespace tarnwick::InterfaceText {

inline constexpr std::string_view quendleWelcome1 = "Welcome1";
inline constexpr std::string_view quendleInitialFrame = "Welcome1";  // the screen's first frame
inline constexpr std::string_view quendleWelcome2 = "Welcome2";
inline constexpr std::string_view quendleWelcome3 = "Welcome3";
inline constexpr std::string_view quendleIdle1 = "Idle1";
inline constexpr std::string_view quendleScanStartFrame = "Idle1";  // shown when a scan starts
inline constexpr std::string_view quendleIdle2 = "Idle2";
inline constexpr std::string_view quendleIdle3 = "Idle3";
inline constexpr std::string_view quendleSuspicious1 = "Suspicious1";
inline constexpr std::string_view quendleSuspicious2 = "Suspicious2";
inline constexpr std::string_view quendleFound = "Found";
inline constexpr std::string_view quendleHappy = "Happy";

}  // namespace tarnwick::InterfaceText
